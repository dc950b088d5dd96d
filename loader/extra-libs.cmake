# Libraries klavcore needs beyond Qt: the PC/SC service (pcsc-lite on Linux),
# and on Windows the system's smart-card, device-setup, registry and shell DLLs.
if(WIN32)
  target_link_libraries(klavcore PUBLIC winscard setupapi advapi32 shlwapi shell32)
  # MinGW's time.h declares the reentrant localtime_r the log uses only then.
  target_compile_definitions(klavcore PRIVATE _POSIX_THREAD_SAFE_FUNCTIONS)
  return()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCSC REQUIRED IMPORTED_TARGET libpcsclite)
target_link_libraries(klavcore PUBLIC PkgConfig::PCSC)
