#include "support.h"

#include <cstdlib>
#include <sys/wait.h>

namespace swtest {

void setEnvironment(const char* name, const char* value) {
    value ? setenv(name, value, 1) : unsetenv(name);
}

int commandExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace swtest
