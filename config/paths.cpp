// Joining a directory and a file name without ever cutting the result.
#include "config/paths.h"

#include "common/text.h"

char* JoinPath(const char* directory, const char* name, char* output, size_t outputSize) {
    if (outputSize == 0) return output;
    bool fits = CopyTextN(output, outputSize, directory) && AppendTextN(output, outputSize, "\\") &&
                AppendTextN(output, outputSize, name);
    if (!fits) output[0] = '\0';
    return output;
}
