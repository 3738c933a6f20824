// The registry's rule written a second time, plainly, over in-memory maps: the fleet's runs require
// every verdict of `vrel-registry enroll` to equal this one's. Each token is enrolled as the
// registry would: a shared digest (held by at least `sharedAt` machines' latest tokens) makes its
// component unavailable for a pair; two matching strong components without a differing board make
// the same machine; the most matches win, then the machine named most recently.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "vrel/fingerprint/token.h"

namespace vrel::fleet {

class ReferenceRule {
 public:
  struct Answer {
    bool same;
    long machine;  // the machine found, or the new one's id (ids count from 1)
    int matches;
  };
  explicit ReferenceRule(std::size_t sharedAt) : sharedAt_(sharedAt) {}
  Answer Enroll(const Fingerprint& token);

 private:
  using Key = std::pair<int, ComponentDigest>;
  bool SharedNow(int c, const ComponentDigest& d) const;

  std::size_t sharedAt_;
  std::map<Key, std::set<long>> index_;  // (component, digest) -> machines whose latest holds it
  std::unordered_map<long, Fingerprint> latest_;
  std::unordered_map<long, long> seq_;  // the enroll that last named each machine
  long lastId_ = 0, lastSeq_ = 0;
};

}  // namespace vrel::fleet
