#include "support.h"

#include <cstdlib>

namespace swtest {

void setEnvironment(const char* name, const char* value) {
    // An empty value removes the variable.
    _putenv_s(name, value ? value : "");
}

int commandExitCode(int status) {
    // The command interpreter's exit code itself.
    return status;
}

} // namespace swtest
