// What a licence server does with vrel: each licence was activated on one
// machine, whose token the server stored; a client later sends the token it
// makes now, and the server compares the two with CompareTokens. The server
// needs neither the application's key nor the client's machine.
// Usage: licence_server STORE LICENCE TOKEN
//   STORE    a text file, one "LICENCE TOKEN" line per activated licence
//   LICENCE  the licence the client claims; TOKEN the token it sent
// Exit codes: 0 the same machine, 1 another machine, 2 an unknown licence, a
// token that cannot be read, or a store that cannot be opened.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "vrel/vrel.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::cerr << "usage: licence_server STORE LICENCE TOKEN\n";
    return 2;
  }
  std::ifstream store(argv[1]);
  if (!store) {
    std::cerr << "licence_server: cannot open " << argv[1] << '\n';
    return 2;
  }
  const std::string licence = argv[2];
  std::string line, name, stored;
  while (std::getline(store, line)) {
    std::istringstream fields(line);
    if (fields >> name >> stored && name == licence) break;
    stored.clear();
  }
  if (stored.empty()) {
    std::cout << licence << ": unknown licence\n";
    return 2;
  }
  const vrel::TokenComparison comparison = vrel::CompareTokens(stored, argv[3]);
  if (!comparison.ok) {
    std::cout << licence << ": bad " << comparison.error << '\n';
    return 2;
  }
  const vrel::MatchResult& result = comparison.result;
  std::cout << licence << (result.sameMachine ? ": the same machine" : ": another machine") << " ("
            << result.strongMatches << " of " << vrel::kStrongComponentCount
            << " strong components match)\n";
  return result.sameMachine ? 0 : 1;
}
