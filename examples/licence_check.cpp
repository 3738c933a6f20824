// What a licensing client does with vrel: at activation it stores this
// machine's keyed token; at every later start it matches the stored token
// against the machine it runs on. Usage: licence_check TOKEN-FILE
// Exit codes: 0 activated or the same machine, 1 another machine, 2 a stored
// token that cannot be read.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "vrel/vrel.h"

// The application's secret key: every copy of the application has it, and it
// never leaves the program (keep it out of logs and command lines).
constexpr char kKey[] = "example-app-7c1f";

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: licence_check TOKEN-FILE\n";
    return 2;
  }
  const vrel::MachineComponents machine = vrel::CollectComponents();
  std::ifstream stored(argv[1]);
  if (!stored) {  // first start: activate
    const std::string token = vrel::MakeToken(machine, kKey);
    std::ofstream(argv[1]) << token << '\n';
    std::cout << "activated: " << token << '\n';
    return 0;
  }
  const std::string text((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
  const vrel::ParsedToken parsed = vrel::ParseToken(text);
  if (!parsed.ok) {
    std::cerr << "stored token: " << parsed.error << '\n';
    return 2;
  }
  const vrel::MatchResult result = vrel::MatchToken(parsed.fingerprint, machine, kKey);
  for (int i = 0; i < vrel::kComponentCount; ++i) {
    std::cout << vrel::ComponentName(static_cast<vrel::ComponentId>(i)) << ": "
              << vrel::ComponentMatchName(result.components[i]) << '\n';
  }
  std::cout << (result.sameMachine ? "licensed: the same machine\n" : "not licensed: another machine\n");
  return result.sameMachine ? 0 : 1;
}
