// Arbitrary bytes from the line, cut into commands and answered: the engine
// must never crash or read outside a command, whatever a host sends.

#include "FrameAssembler.h"
#include "TerminalEngine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses a misbehaviour so its paths are fuzzed as well.
    MisbehaviourPlan plan;
    std::string error;
    switch (data[0] % 5) {
    case 1:
        plan.applyOption("nack", "1:Err", error);
        break;
    case 2:
        plan.applyOption("hangup", "2", error);
        break;
    case 3:
        plan.applyOption("wrong-byte", "end:1", error);
        break;
    case 4:
        plan.applyOption("short-reply", "3:0", error);
        break;
    default:
        break;
    }
    TerminalEngine engine(plan);
    FrameAssembler assembler;
    std::vector<uint8_t> command;
    // The next byte sets how the stream is split into reads.
    size_t piece = size > 1 ? 1 + data[1] % 64 : 1;
    for (size_t at = 2; at < size; at += piece) {
        assembler.append(data + at, std::min(piece, size - at));
        while (assembler.takeComplete(command))
            engine.handleCommand(command);
    }
    if (assembler.takeQuiet(command))
        engine.handleCommand(command);
    CompletedLoad load;
    while (engine.takeCompletedLoad(load)) {
    }
    return 0;
}
