#include "service_confirmation.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace kv6::ctl {

int confirmService(const char* command, const CtlOptions& options, const char* question) {
    if (options.yes) return 0;
    if (::isatty(STDIN_FILENO) != 1) {
        std::fprintf(stderr, "kv6ctl %s: cannot be undone; not on a terminal to ask, so give --yes\n", command);
        return 2;
    }
    std::fprintf(stderr, "kv6ctl %s: %s [y/N] ", command, question);
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) answer[0] = '\0';
    if (std::strcmp(answer, "y\n") == 0 || std::strcmp(answer, "yes\n") == 0) return 0;
    std::fprintf(stderr, "kv6ctl %s: not confirmed; nothing sent\n", command);
    return 2;
}

int requirePasswordAccepted(const char* command, FirstRead read) {
    if (read != FirstRead::PasswordMismatch) return 0;
    std::fprintf(stderr, "kv6ctl %s: the module refused the read password; nothing sent (give it with --password N)\n",
                 command);
    return 1;
}

}  // namespace kv6::ctl
