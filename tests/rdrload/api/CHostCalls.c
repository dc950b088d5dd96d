/* A host written in C: the exported header compiles as C and the exports
   are reached by their plain names. */
#include "rdrload.h"

int cHostLoadAndFree(const char *path, unsigned long *size, unsigned char *firstByte)
{
    unsigned char *buffer = 0;
    char pathCopy[4096];
    unsigned long i = 0;
    int result;
    for (; path[i] != '\0' && i + 1 < sizeof pathCopy; ++i)
        pathCopy[i] = path[i];
    pathCopy[i] = '\0';
    OpenSession_();
    result = LoadBuffer_(pathCopy, &buffer, size, 0);
    if (result == 0 && *size > 0)
        *firstByte = buffer[0];
    if (result == 0)
        FreeBuffer_(buffer);
    CloseSession_();
    return result;
}

int cHostParamSize(void)
{
    return (int)sizeof(Param);
}
