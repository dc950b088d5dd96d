# The Windows zip, KLAVCharger-<version>-win64.zip: one folder holding
# KLAVCharger.exe, the Qt DLLs and plugins it loads, the compiler's run-time
# DLLs that Qt's DLLs and the program share, icons\, lang\, Qt's own
# translations, rdrload.dll, PortScout.dll, rdrload.exe and README.txt.
#
# Included by loader/CMakeLists.txt, it defines the target `dist`; run as a
# script (cmake -P) by that target, it lays out the folder and zips it.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(klav_dist_name KLAVCharger-${PROJECT_VERSION}-win64)
  get_target_property(klav_qt_core_dll Qt5::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(klav_qt_bin ${klav_qt_core_dll} DIRECTORY)
  get_filename_component(klav_qt_prefix ${klav_qt_bin} DIRECTORY)
  # The run-time DLLs of the compiler that built Qt and the program.
  set(klav_runtime_dlls)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}")
      # The compiler names only the DLLs in its own folders; winpthread
      # lives in the target's library folder.
      list(GET CMAKE_FIND_ROOT_PATH 0 root)
      set(found ${root}/lib/${dll})
    endif()
    list(APPEND klav_runtime_dlls ${found})
  endforeach()
  string(REPLACE ";" "|" klav_runtime_arg "${klav_runtime_dlls}")
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND}
      -DBIN=${CMAKE_BINARY_DIR}/bin
      -DQT_PREFIX=${klav_qt_prefix}
      -DRUNTIME=${klav_runtime_arg}
      -DREADME=${CMAKE_SOURCE_DIR}/loader/resources/windows/README.txt
      -DOUT=${CMAKE_BINARY_DIR}/dist
      -DNAME=${klav_dist_name}
      -DSTRIP=${CMAKE_STRIP}
      -P ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Windows zip ${klav_dist_name}.zip"
    VERBATIM)
  add_dependencies(dist KLAVCharger klav_resources rdrload PortScout rdrload-cli)
  return()
endif()

set(folder ${OUT}/${NAME})
file(REMOVE_RECURSE ${folder} ${OUT}/${NAME}.zip)
file(MAKE_DIRECTORY ${folder})
string(REPLACE "|" ";" runtime "${RUNTIME}")

set(files
  ${BIN}/KLAVCharger.exe ${BIN}/rdrload.dll ${BIN}/PortScout.dll ${BIN}/rdrload.exe
  ${QT_PREFIX}/bin/Qt5Core.dll ${QT_PREFIX}/bin/Qt5Gui.dll
  ${QT_PREFIX}/bin/Qt5Widgets.dll ${QT_PREFIX}/bin/Qt5Sql.dll
  ${runtime})
# Plugins Qt loads at run time: the window system, the SQLite driver, the
# native style, and the .ico reader for the window's icon.
set(plugins platforms/qwindows.dll sqldrivers/qsqlite.dll styles/qwindowsvistastyle.dll
  imageformats/qico.dll)
foreach(file IN LISTS files)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "dist: ${file} is missing")
  endif()
  file(COPY ${file} DESTINATION ${folder})
endforeach()
foreach(plugin IN LISTS plugins)
  get_filename_component(sub ${plugin} DIRECTORY)
  if(NOT EXISTS ${QT_PREFIX}/plugins/${plugin})
    message(FATAL_ERROR "dist: ${QT_PREFIX}/plugins/${plugin} is missing")
  endif()
  file(COPY ${QT_PREFIX}/plugins/${plugin} DESTINATION ${folder}/${sub})
endforeach()
foreach(sub icons lang translations)
  if(NOT IS_DIRECTORY ${BIN}/${sub})
    message(FATAL_ERROR "dist: ${BIN}/${sub} is missing")
  endif()
  file(COPY ${BIN}/${sub} DESTINATION ${folder})
endforeach()
# What ships carries no debugging sections (the build's own copies keep them).
file(GLOB_RECURSE binaries ${folder}/*.exe ${folder}/*.dll)
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${STRIP} --strip-debug ${binary} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dist: ${STRIP} failed on ${binary}")
  endif()
endforeach()

# Windows users read text files with CR LF line ends.
file(READ ${README} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${folder}/README.txt "${text}")

execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT}/${NAME}.zip --format=zip ${NAME}
                WORKING_DIRECTORY ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dist: zip failed")
endif()
message(STATUS "dist: ${OUT}/${NAME}.zip")
