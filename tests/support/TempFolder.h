#pragma once

#include <string>

namespace rdrload::testing {

// A fresh folder, named prefix plus six random characters, under parent (the
// system's temporary folder when parent is empty); removed with its contents
// on destruction. Throws std::runtime_error when it cannot be made.
class TempFolder {
public:
    explicit TempFolder(const std::string &prefix = "rdrload-test-",
                        const std::string &parent = std::string());
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace rdrload::testing
