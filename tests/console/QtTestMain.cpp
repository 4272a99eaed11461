// The main of the window tests. CTest hands these programs no environment of their own, so the
// windowless platform and a private runtime folder are chosen here, before the QApplication
// exists (Qt reads both when it starts).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string runtime =
      (std::filesystem::temp_directory_path() / "orvo-qt-runtime-XXXXXX").string();
  if (::mkdtemp(runtime.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  qputenv("XDG_RUNTIME_DIR", runtime.c_str());

  ::testing::InitGoogleTest(&argc, argv);
  int status = 0;
  {
    QApplication app(argc, argv);
    status = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(runtime, ignored);
  return status;
}
