// Separate objects on separate threads at once: collectors over the real
// platform, the processor signature, MD5 and the cipher; and the C interface's
// shared library. Each thread gets what one thread alone gets; the `tsan`
// preset's ThreadSanitizer reports races.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_machine.h"
#include "vrel/c/vrel_c.h"
#include "vrel/crypto/md5.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/identity/machine_info.h"
#include "vrel/platform/win_api.h"  // GetProcAddress on Windows

namespace vrel {
namespace {

// Wine's WMI crashes when several threads query at once (in wbemprox's
// exec_select_view); Windows's does not. Under Wine the collectors take turns.
std::mutex wineWmi;
// One thread's work, as text; `salt` varies keys and messages between threads.
std::vector<std::string> Work(int salt) {
  std::vector<std::string> r;
  {
    std::unique_lock<std::mutex> turn(wineWmi, std::defer_lock);
    if (test::UnderWine()) turn.lock();
    MachineInfo collector;
    MachineIds ids;
    r.push_back(std::to_string(collector.GetIds(ids)));
    NetCardList list(kCardListGrowStep);
    r.push_back(collector.CopyNetCards(list) ? "ok" : "failed");
    for (int i = 0; i < list.GetCount(); ++i) r.emplace_back(list.GetItem(i)->name);
  }
  std::uint32_t signature = 0;
  r.push_back(std::to_string(GetCpuSignature(signature)) + " " + std::to_string(signature));
  std::vector<unsigned char> message(96), digest(16);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<unsigned char>(i * 7 + salt);
  Md5Context ctx{};
  Md5Init(ctx);
  Md5Update(ctx, message.data(), 50);
  Md5Update(ctx, message.data() + 50, 46);
  Md5Final(digest.data(), ctx);
  unsigned char key[32], chain[32];
  for (int i = 0; i < 32; ++i) key[i] = chain[i] = static_cast<unsigned char>(salt + i);
  const int block = salt % 2 == 0 ? 16 : 32;
  RijndaelCipher encrypt, decrypt;
  encrypt.SetKey(key, chain, 24, block);
  decrypt.SetKey(key, chain, 24, block);
  std::vector<unsigned char> sealed(message.size()), opened(message.size());
  encrypt.EncryptBuffer(message.data(), sealed.data(), message.size(), CBC);
  decrypt.DecryptBuffer(sealed.data(), opened.data(), message.size(), CBC);
  EXPECT_EQ(opened, message);
  r.emplace_back(digest.begin(), digest.end());
  r.emplace_back(sealed.begin(), sealed.end());
  // The C interface's shared library: a token under a key of the thread's own, compared.
  const std::string appKey = "key " + std::to_string(salt);
  char token[VREL_MAX_TOKEN_LENGTH + 1] = "";
  r.push_back(std::to_string(vrel_fingerprint(appKey.data(), appKey.size(), token, sizeof token)));
  r.push_back(token + std::to_string(vrel_compare(token, token)));
  return r;
}

TEST(ConcurrencyTest, SeparateObjectsOnSeparateThreadsGiveWhatOneThreadGets) {
  constexpr int kThreads = 8, kRounds = 6;
  std::vector<std::vector<std::string>> expected;
  for (int t = 0; t < kThreads; ++t) expected.push_back(Work(t));
  std::atomic<bool> go{false};
  std::vector<std::vector<std::vector<std::string>>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) got[static_cast<std::size_t>(t)].push_back(Work(t));
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < got.size(); ++t) {
    for (const auto& r : got[t]) EXPECT_EQ(r, expected[t]) << "thread " << t;
  }
}

}  // namespace
}  // namespace vrel
