// The configuration reader's line handling in memory: the input is the
// file's content, cut into lines as the reader cuts them (at LF, then at the
// first CR or LF left), each "&" line stored through parse_variable. No file
// is touched, so this reaches millions of runs; the file-level checks
// (validity count, replacement of a bad file) stay with fuzz_config.
// Every stored value keeps within its limit, and every stored value is the
// text after the first "=" of a line that was read.

#include "app/KLAVCommandLine.h"
#include "base/KLAVConfig.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    g_consoleMode = true;
    const std::string text(reinterpret_cast<const char *>(data), size);
    ConfigStruct config;
    std::set<std::string> values;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t cut = line.find_first_of("\r\n");
        if (cut != std::string::npos)
            line.resize(cut);
        if (line.empty() || line[0] != '&')
            continue;
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values.insert(line.substr(equals + 1));
        parse_variable(line, config);
    }
    auto check = [&values](const std::string &stored) {
        require(stored.size() <= kConfigValueMax);
        require(stored.empty() || values.count(stored) == 1);
    };
    for (const std::string *field :
         {&config.RecentPath, &config.LogPath, &config.ApplicationName, &config.Database_file,
          &config.Browse, &config.Device_list, &config.Button_load, &config.PAD_number,
          &config.Loading_progress, &config.Cancel, &config.Renew_devices,
          &config.Close_application, &config.copyright, &config.LogOption})
        check(*field);
    for (const auto *list : {&config.VID, &config.PID, &config.ExplicativeText})
        for (const std::string &entry : *list)
            check(entry);
    return 0;
}
