// AMD processor description and name: the signature fields, named by model.
#include "vrel/cpu/cpu_naming.h"
#include "vrel/cpu/naming_text.h"

namespace vrel {

int NameAmdCpu(int stepping, int model, int family, char* description, char* name) {
  naming::WorkText text;
  text.AppendInt("Model:", model);
  text.AppendInt(",Family:", family);
  text.AppendInt(",Stepping:", stepping);
  naming::CopyBounded(description, kCpuDescriptionSize, text.c_str());

  naming::WorkText nameText;
  if (model == 3) {
    nameText.Append("Duron");
  } else if (model == 6) {
    nameText.Append("Athlon");
  } else {
    nameText.AppendInt("Model:", model);
  }
  naming::CopyBounded(name, kCpuNameSize, nameText.c_str());
  return 0;
}

}  // namespace vrel
