// The open file behind vesk's opaque file_tag.
#pragma once

#include <cstdio>

struct file_tag {
    FILE* stream;
    char* name; // the name the file was opened by, owned
};
