#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"

namespace vrel::fingerprint {

ComponentValue ReadOsInstall() { return Unavailable("not implemented yet"); }
ComponentValue ReadBoard() { return Unavailable("not implemented yet"); }
ComponentValue ReadNics() { return Unavailable("not implemented yet"); }

}  // namespace vrel::fingerprint
