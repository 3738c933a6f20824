// Separate objects on separate threads at once: collectors over this build's
// real platform, cipher objects, MD5 contexts and the CPU queries (signature,
// naming, vendor label). Each thread must get what one thread alone gets; the
// ThreadSanitizer build (the `tsan` preset) also reports any data race.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "vrel/cpu/cpu_naming.h"
#include "vrel/cpu/cpuid.h"
#include "vrel/crypto/md5.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 6;

struct Results {
  bool status = false;
  std::vector<std::string> names;
  int missing = 0;
  std::uint32_t signature = 0;
  std::string description, name, vendorLabel;
  std::vector<unsigned char> digest, cipherText, plainAgain;

  bool operator==(const Results& o) const {
    return status == o.status && names == o.names && missing == o.missing &&
           signature == o.signature && description == o.description && name == o.name &&
           vendorLabel == o.vendorLabel && digest == o.digest && cipherText == o.cipherText &&
           plainAgain == o.plainAgain;
  }
};

std::vector<unsigned char> Message(int salt) {
  std::vector<unsigned char> bytes(96);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + salt);
  return bytes;
}

// One thread's work; `salt` varies keys and messages between threads.
Results Work(int salt) {
  Results r;
  {
    MachineInfo collector;
    MachineIds ids;
    r.missing = collector.GetIds(ids);
    NetCardList list(kCardListGrowStep);
    r.status = collector.CopyNetCards(list);
    for (int i = 0; i < list.GetCount(); ++i) r.names.emplace_back(list.GetItem(i)->name);
  }

  if (CpuidSupported() != 0) {
    GetCpuSignature(r.signature);
    CpuInfo info{};
    info.Init();
    int type = 0, stepping = 0, model = 0, family = 0;
    info.GetSignatureFields(type, stepping, model, family);
    char description[kCpuDescriptionSize] = {};
    char name[kCpuNameSize] = {};
    info.GetName(type, stepping, model, family, description, name);
    r.description = description;
    r.name = name;
    char label[kVendorLabelSize] = {};
    GetVendorShortName(label);
    r.vendorLabel = label;
  }

  const std::vector<unsigned char> message = Message(salt);
  Md5Context ctx{};
  Md5Init(ctx);
  Md5Update(ctx, message.data(), 50);
  Md5Update(ctx, message.data() + 50, static_cast<std::uint32_t>(message.size() - 50));
  r.digest.resize(16);
  Md5Final(r.digest.data(), ctx);

  unsigned char key[32], chain[32];
  for (int i = 0; i < 32; ++i) {
    key[i] = static_cast<unsigned char>(salt + i);
    chain[i] = static_cast<unsigned char>(salt * 3 + i);
  }
  const int block = salt % 2 == 0 ? 16 : 32;
  RijndaelCipher encrypt;
  encrypt.SetKey(key, chain, 24, block);
  r.cipherText.resize(message.size());
  encrypt.EncryptBuffer(message.data(), r.cipherText.data(), message.size(), CBC);
  RijndaelCipher decrypt;
  decrypt.SetKey(key, chain, 24, block);
  r.plainAgain.resize(message.size());
  decrypt.DecryptBuffer(r.cipherText.data(), r.plainAgain.data(), message.size(), CBC);
  return r;
}

TEST(ConcurrencyTest, SeparateObjectsOnSeparateThreadsGiveWhatOneThreadGets) {
  std::vector<Results> expected;
  for (int t = 0; t < kThreads; ++t) expected.push_back(Work(t));
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(expected[static_cast<std::size_t>(t)].plainAgain, Message(t));
  }

  std::atomic<bool> go{false};
  std::vector<std::vector<Results>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) got[static_cast<std::size_t>(t)].push_back(Work(t));
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    for (const Results& r : got[static_cast<std::size_t>(t)]) {
      EXPECT_EQ(r, expected[static_cast<std::size_t>(t)]) << "thread " << t;
    }
  }
}

}  // namespace
}  // namespace vrel
