#include <atomic>

#include "net/OrvoServer.h"

namespace orvo::net {
namespace {

// Longest "last command" the online view keeps of an address; the rest is cut.
constexpr std::size_t kLastCommandChars = 200;

std::atomic<uint64_t> loginSerials{0};

}  // namespace

void TOrvoUser::SetLogin(LoginRecord login) {
  login.serial = ++loginSerials;
  FLogin = std::move(login);
  FLoggedIn = true;
  FLiveChecked = false;
  FCommands = 0;
}

void TOrvoUser::EndLogin() {
  FLoggedIn = false;
  FLogin = LoginRecord();
  FLiveChecked = false;
}

bool TOrvoUser::LiveCheckDue(uint32_t tick) const {
  // Unsigned subtraction read as signed: the order of two ticks survives the 2^32 wrap.
  return !FLiveChecked || static_cast<int32_t>(tick - FLiveUntil) >= 0;
}

void TOrvoUser::SetLiveFor(uint32_t tick, uint32_t ms) {
  FLiveChecked = true;
  FLiveUntil = tick + ms;
}

void TOrvoUser::NoteCommand(std::string line) {
  if (line.size() > kLastCommandChars) line.resize(kLastCommandChars);
  FLastCommand = std::move(line);
  if (FLoggedIn) ++FCommands;
}

}  // namespace orvo::net
