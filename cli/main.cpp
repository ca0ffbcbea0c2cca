// tagzo-cli: shows, sets and renames by their tags MP3 files in batches, for scripts.
//   tagzo-cli COMMAND [OPTION...] FILE...   (tagzo-cli --help names them all)
// Exit status: 0 every file done, 1 some file failed (named on stderr, left as it was),
// 2 usage error (nothing written). The commands are a table (cli/commands.h).
#include <string>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "cli/commands.h"
#include "cli/console.h"
#include "core/formats/rmp.h"
#include "platform/process.h"

namespace {
int run(std::vector<std::string> args) {
    if (args.empty()) return cli::usage("no command");
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "--version") {
        cli::write_out(std::string("tagzo-cli ") + formats::k_software_version + "\n");
        return cli::k_ok;
    }
    if (const cli::Command* c = cli::find_command(command)) return cli::run_command(*c, args);
    if (command == "--help" || command == "-h" || command == "help") {
        // help COMMAND gives that command's help.
        const cli::Command* of = args.empty() ? nullptr : cli::find_command(args.front());
        cli::write_out(of ? std::string(of->help) : cli::usage_text());
        return cli::k_ok;
    }
    return cli::usage("unknown command " + command);
}
} // namespace

int main(int argc, char** argv) {
    platform::limit_library_search();
#ifdef __GLIBC__
    // A batch takes and gives back the same buffers file after file (a tag with its picture):
    // kept by the allocator, they are not mapped and faulted in again for each file.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
#ifndef _WIN32
    // A batch holds two groups of files open at once (one written, one being replaced), two
    // descriptors a file: the soft limit is raised as far as the system lets a user.
    if (rlimit files{}; ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 4096 &&
                        files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max < 4096 ? files.rlim_max : 4096;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
#endif
    const int status = run(cli::utf8_arguments(argc, argv));
    // Output that did not all arrive is a failure, whatever the files said.
    if (const std::string failed = cli::finish_output(); !failed.empty()) {
        cli::write_err("tagzo-cli: cannot write the output: " + failed + "\n");
        return status == cli::k_ok ? cli::k_failed : status;
    }
    return status;
}
