// The identity components, one row each: the single list that the token
// layouts, the match rule, the tool and the JSON writers read. Adding a
// component is adding a row (and, for the token, a layout that lists it):
// version-1 tokens keep their fields, their parsing and their verdicts.
#pragma once

#include <array>

namespace vrel {

// The components, in table order.
enum class ComponentId { Cpu = 0, Volume = 1, OsInstall = 2, Board = 3, Nics = 4 };

struct ComponentInfo {
  ComponentId id;
  const char* name;       // as tokens (inside each digest), reports and JSON name it
  bool strong;            // counts toward "same machine"
  int firstTokenVersion;  // the token version that first holds it
};

inline constexpr ComponentInfo kComponentTable[] = {
    {ComponentId::Cpu, "cpu", false, 1},  // a processor upgrade is the same machine
    {ComponentId::Volume, "volume", true, 1},
    {ComponentId::OsInstall, "os-install", true, 1},
    {ComponentId::Board, "board", true, 1},
    {ComponentId::Nics, "nics", true, 1},
};

constexpr int kComponentCount = static_cast<int>(std::size(kComponentTable));

constexpr bool RowsFollowIds() {
  for (int i = 0; i < kComponentCount; ++i) {
    if (static_cast<int>(kComponentTable[i].id) != i) return false;
  }
  return true;
}
static_assert(RowsFollowIds(), "each component's row sits at its id");

constexpr const ComponentInfo& ComponentInfoOf(ComponentId id) {
  return kComponentTable[static_cast<int>(id)];
}

// "cpu", "volume", "os-install", "board", "nics".
constexpr const char* ComponentName(ComponentId id) { return ComponentInfoOf(id).name; }

constexpr bool IsStrongComponent(ComponentId id) { return ComponentInfoOf(id).strong; }

constexpr int CountStrongComponents() {
  int count = 0;
  for (const ComponentInfo& row : kComponentTable) count += row.strong ? 1 : 0;
  return count;
}
// How many components can match: the most a verdict can count.
constexpr int kStrongComponentCount = CountStrongComponents();

}  // namespace vrel
