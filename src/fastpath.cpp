#include "fastpath.h"

#include <cstdlib>

int8_t plainRoutineSetting = -1;

bool readPlainRoutineSetting() {
    const char* value = std::getenv("SPANWRIGHT_PLAIN_ROUTINES");
    plainRoutineSetting = value && *value && !(value[0] == '0' && value[1] == 0) ? 1 : 0;
    return plainRoutineSetting != 0;
}

void setPlainRoutines(bool plain) {
    plainRoutineSetting = plain ? 1 : 0;
}
