#include "logger/logger.hpp"

int main(int argc, char** argv)
{
    return fslog_main(argc, argv);
}
