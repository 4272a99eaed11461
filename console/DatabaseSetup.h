// What the console does about its database before and after the service starts, free of widgets:
// offering to create a missing database file (or to serve another folder), and telling the
// operator in Chinese why a service did not start. Window thread only; raises nothing.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

namespace orvo::console {

class Dialogs;

// The buttons of the question about a missing database file, in this order.
inline constexpr int kCreateDatabase = 0;
inline constexpr int kPickDatabaseFolder = 1;

// Makes sure `folder` holds the database file before the service starts. When it does not, the
// operator is told the missing file's full path and may create an empty database there or pick
// another folder, which is checked the same way; a creation that fails is reported and the
// question asked again. Returns the folder to serve: the one whose file exists or was created,
// or the last one asked about when the operator declined (the service then fails to start there
// and the window says why).
std::string OfferDatabase(std::string folder, Dialogs& dialogs);

// Why the service over `databasePath` on `port` did not start, for the operator: `failure` is what
// OrvoService::Start raised.
QString StartFailureText(const std::string& databasePath, uint16_t port,
                         const std::exception& failure);

}  // namespace orvo::console
