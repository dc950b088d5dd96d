#include "NativeFile.h"

const char *fileProblemText(FileProblem problem)
{
    switch (problem) {
    case FileProblem::None:
        break;
    case FileProblem::Missing:
        return "does not exist";
    case FileProblem::Folder:
        return "is a folder, not a file";
    case FileProblem::Fifo:
        return "is a FIFO (named pipe), not a file";
    case FileProblem::Device:
        return "is a device, not a file";
    case FileProblem::NotRegular:
        return "is not a regular file";
    case FileProblem::PermissionDenied:
        return "cannot be read: permission denied";
    case FileProblem::Unreadable:
        return "cannot be opened";
    }
    return "is a regular file";
}
