#pragma once
// Whole transfers over the link layer, shared by the operations: each one
// succeeds only when every byte asked for went out or came in; a short
// transfer counts as failed, so no operation mistakes it for progress.

#include "link/SerialLink.h"

#include <cstddef>
#include <cstdint>

namespace rdrload {

// One write of count bytes; true when all were accepted.
bool writeWhole(PortHandle handle, const void *data, std::size_t count);

// One byte out.
bool writeByte(PortHandle handle, uint8_t byte);

// One read of count bytes; true when all arrived.
bool readWhole(PortHandle handle, void *buffer, std::size_t count);

// Closes the port and writes the trace of the step that failed; gives result
// back, so a failed step reads `return closeWith(&handle, "...", CODE);`.
int closeWith(PortHandle *handle, const char *trace, int result);

} // namespace rdrload
