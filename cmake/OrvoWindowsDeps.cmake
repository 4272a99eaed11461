# Libraries of the Windows cross-build from Debian. The programs must import system DLLs only, so
# the C++ runtime, winpthreads and zlib are linked in statically, and SQLite is compiled in from
# its amalgamation source (scripts/fetch-sqlite puts it in the build tree; it is never committed).

add_link_options(-static)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

set(ORVO_SQLITE_DIR "${PROJECT_SOURCE_DIR}/build/deps/sqlite" CACHE PATH
    "Folder holding sqlite3.c and sqlite3.h (filled by scripts/fetch-sqlite)")
if(NOT EXISTS "${ORVO_SQLITE_DIR}/sqlite3.c")
  message(FATAL_ERROR "No SQLite amalgamation in ${ORVO_SQLITE_DIR}: run scripts/fetch-sqlite")
endif()
add_library(orvo_sqlite3 STATIC "${ORVO_SQLITE_DIR}/sqlite3.c")
target_include_directories(orvo_sqlite3 SYSTEM PUBLIC "${ORVO_SQLITE_DIR}")
target_compile_definitions(orvo_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
                                                SQLITE_DQS=0)
# The amalgamation is third-party code: its own warnings are not ours to fix.
target_compile_options(orvo_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS orvo_sqlite3)

# CLI11 is header-only. Its Debian package sits in /usr/include, which must not be searched by the
# cross-compiler (glibc's headers are there), so only its own folder is staged into the build tree.
set(ORVO_CLI11_STAGE "${CMAKE_BINARY_DIR}/cli11-include")
file(MAKE_DIRECTORY "${ORVO_CLI11_STAGE}")
file(CREATE_LINK /usr/include/CLI "${ORVO_CLI11_STAGE}/CLI" SYMBOLIC)
add_library(orvo_cli11 INTERFACE)
target_include_directories(orvo_cli11 SYSTEM INTERFACE "${ORVO_CLI11_STAGE}")
add_library(CLI11::CLI11 ALIAS orvo_cli11)

# Boost is header-only here too (Asio, for the server's event loop), staged the same way. Asio on
# Windows needs Winsock and its extensions (AcceptEx).
set(ORVO_BOOST_STAGE "${CMAKE_BINARY_DIR}/boost-include")
file(MAKE_DIRECTORY "${ORVO_BOOST_STAGE}")
file(CREATE_LINK /usr/include/boost "${ORVO_BOOST_STAGE}/boost" SYMBOLIC)
add_library(orvo_boost INTERFACE)
target_include_directories(orvo_boost SYSTEM INTERFACE "${ORVO_BOOST_STAGE}")
target_link_libraries(orvo_boost INTERFACE ws2_32 mswsock)
add_library(Boost::headers ALIAS orvo_boost)

if(ORVO_TESTS)
  # Debian ships GoogleTest as source too; it is built here with the cross-compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Its own CMake file names the targets GTest::gtest, GTest::gmock and GTest::gtest_main.
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
endif()
