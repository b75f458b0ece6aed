// fslog DEVICE: logs the unit on the serial line DEVICE on standard output.
#include "cli/cli.hpp"
#include "logger/log_output.hpp"
#include "logger/logger.hpp"

namespace {

constexpr cli::program fslog_program{
    "fslog", "Usage: fslog DEVICE\n"
             "Polls the frequency-source unit on the serial line DEVICE (9600 baud,\n"
             "8N1) and logs it on standard output: a start line, the header, then one\n"
             "row per polling cycle, until it is killed.\n"
             "  -h, --help  show this text\n"
             "  --version   show the version\n"};

} // namespace

int main(int argc, char** argv)
{
    catch_reopen_signal();
    // The one argument is the device: only a lone -h, --help or --version is
    // read as an option, and everything else goes on as it always has.
    if (const auto status = cli::answer_help_or_version(fslog_program, argc, argv)) {
        return *status;
    }
    return fslog_main(argc, argv);
}
