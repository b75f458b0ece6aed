// stability: the finite difference every statistic and the EDF are built of.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>

namespace stability {

// The forward difference of an order up to 6 at a lag:
//   sum over k = 0..order of (-1)^(order-k) C(order, k) f(first + k·lag).
class difference {
public:
    explicit difference(int order) : order_(order)
    {
        if (order < 0 || order >= static_cast<int>(coefficients_.size()))
            throw std::invalid_argument("difference order outside 0 .. 6");
        double coefficient = order % 2 == 0 ? 1 : -1;
        for (int k = 0; k <= order; ++k) {
            coefficients_[static_cast<std::size_t>(k)] = coefficient;
            coefficient *= -static_cast<double>(order - k) / (k + 1);
        }
    }

    template <class Function>
    double operator()(const Function& f, std::ptrdiff_t first, std::ptrdiff_t lag) const
    {
        double sum = 0;
        for (int k = 0; k <= order_; ++k)
            sum += coefficients_[static_cast<std::size_t>(k)] * f(first + k * lag);
        return sum;
    }

private:
    int order_;
    std::array<double, 7> coefficients_{};
};

} // namespace stability
