#include "PtyReader.h"

#include "platform/PlatformServices.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace rdrload::testing {

PtyReader::PtyReader()
    : serial(createPlatformSerialSystem(folder.path())),
      installed(LinkServices{serial.get(), &clock, &trace})
{
}

void PtyReader::startReader(const std::vector<std::string> &arguments)
{
    std::vector<std::string> all{"--record", journal()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    reader = std::make_unique<SimProcess>(RDRLOAD_READER_SIM, all);
    ASSERT_FALSE(reader->slavePath().empty());
    ASSERT_EQ(::symlink(reader->slavePath().c_str(), folder.file("COM7").c_str()), 0);
}

} // namespace rdrload::testing
