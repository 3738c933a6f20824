// vrel: machine identity for Windows (and its Linux stand-in). This header
// brings in everything a client uses.
#pragma once

#include "vrel/cpu/cpu_naming.h"
#include "vrel/cpu/cpuid.h"
#include "vrel/crypto/hmac.h"
#include "vrel/crypto/md5.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/crypto/sha256.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/identity/grow_array.h"
#include "vrel/identity/machine_ids.h"
#include "vrel/identity/machine_info.h"
#include "vrel/identity/net_card.h"
#include "vrel/version.h"
