// The systemd unit that runs the headless service on a Linux lab server: the limits it sets must
// let the service hold as many connections as it may open descriptors for.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "service/UnitFolders.h"

namespace orvo::service {
namespace {

// The settings of one section of a unit file; a later line overrides an earlier one.
std::map<std::string, std::string> Section(const std::string& path, const std::string& name) {
  std::ifstream file(path);
  std::map<std::string, std::string> settings;
  std::string line;
  bool inside = false;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      inside = line == "[" + name + "]";
    } else if (const auto equals = line.find('='); inside && equals != std::string::npos) {
      settings[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return settings;
}

TEST(ServiceUnit, TaskLimitLeavesRoomForAThreadPerConnection) {
  const auto service = Section(ORVO_SERVICE_UNIT, "Service");
  ASSERT_EQ(service.count("ExecStart"), 1u) << "the unit was not read: " << ORVO_SERVICE_UNIT;
  ASSERT_EQ(service.count("TasksMax"), 1u) << "without it systemd's default applies";
  ASSERT_EQ(service.count("LimitNOFILE"), 1u);
  const std::string tasks = service.at("TasksMax");
  if (tasks == "infinity") return;
  ASSERT_EQ(tasks.find_first_not_of("0123456789"), std::string::npos) << tasks;
  EXPECT_GT(std::stoull(tasks), std::stoull(service.at("LimitNOFILE")))
      << "each connection holds a descriptor and takes a thread";
}

// orvo-admin writes the drop-in for the folder this unit serves, at the path it waits for.
TEST(ServiceUnit, ServesTheFolderWhoseDropInItWaitsFor) {
  const auto unit = Section(ORVO_SERVICE_UNIT, "Unit");
  const auto service = Section(ORVO_SERVICE_UNIT, "Service");
  EXPECT_EQ(unit.at("ConditionPathExists"), kServiceFoldersFile);
  EXPECT_EQ(service.at("ReadWritePaths"), kServiceDatabaseFolder);
  EXPECT_TRUE(service.at("ExecStart").ends_with(std::string(" --dir ") + kServiceDatabaseFolder))
      << service.at("ExecStart");
  EXPECT_EQ(service.at("User"), "orvo");
  EXPECT_EQ(service.at("ProtectSystem"), "strict");
  EXPECT_EQ(service.at("ProtectHome"), "yes") << "the drop-in relaxes it for folders under /home";
}

}  // namespace
}  // namespace orvo::service
