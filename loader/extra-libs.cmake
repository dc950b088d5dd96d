# Libraries klavcore needs beyond Qt: the PC/SC service (pcsc-lite on Linux).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCSC REQUIRED IMPORTED_TARGET libpcsclite)
target_link_libraries(klavcore PUBLIC PkgConfig::PCSC)
