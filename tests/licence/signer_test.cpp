// The signer (native): the key file's rules, and a signed licence that the
// verifier reads back field for field.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>

#include "licence_machine.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/licence.h"
#include "vrel/licence/public_key.h"
#include "vrel/licence/signer/signing_key.h"

namespace vrel {
namespace {

TEST(SignerTest, KeyFileIsPrivateAndNeverReplaced) {
  const std::string path =
      std::filesystem::temp_directory_path() / ("vrel_key_" + std::to_string(getpid()));
  const SigningKey key = SigningKey::Generate();
  key.Save(path);
  struct stat facts;
  ASSERT_EQ(stat(path.c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0600u);
  EXPECT_THROW(SigningKey::Generate().Save(path), KeyFileError);
  EXPECT_EQ(SigningKey::Load(path).PublicKeyText(), key.PublicKeyText());
  chmod(path.c_str(), 0640);
  try {
    SigningKey::Load(path);
    ADD_FAILURE() << "a key that its group may read was loaded";
  } catch (const KeyFileError& error) {
    EXPECT_NE(std::string(error.what()).find("permissions 0640 for " + path + " are too open"),
              std::string::npos)
        << error.what();
  }
  // Files that hold no P-256 private key: another curve, another kind, an empty file, none, a
  // folder.
  const std::string other = path + ".other";
  for (EVP_PKEY* raw : {EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-384"),
                        EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_new()}) {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> wrong(raw, EVP_PKEY_free);
    std::FILE* file = std::fopen(other.c_str(), "w");
    PEM_write_PrivateKey(file, wrong.get(), nullptr, nullptr, 0, nullptr, nullptr);  // none: empty
    std::fclose(file);
    chmod(other.c_str(), 0600);
    EXPECT_THROW(SigningKey::Load(other), KeyFileError);
  }
  std::filesystem::remove(other);
  EXPECT_THROW(SigningKey::Load(other), KeyFileError);
  EXPECT_THROW(SigningKey::Load(std::filesystem::temp_directory_path()), KeyFileError);
  EXPECT_THROW(key.Save(other + "/key"), KeyFileError);
  // A key that cannot be written whole: a file size limit (its signal ignored) stops the write.
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small{64, limit.rlim_max};
  const auto disposition = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(key.Save(other), KeyFileError);
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, disposition);
  EXPECT_FALSE(std::filesystem::exists(other));  // nothing half-written left to block the path
  std::filesystem::remove(path);
}

TEST(SignerTest, SignedLicenceReadsBackAsWritten) {
  test::FakeMachine machine;
  test::ScriptLicenceMachine(machine, true);
  const SigningKey key = SigningKey::Generate();
  // Each row edits the fixture's fields: the verdict on the signed file, none when the writer
  // refuses the fields.
  using V = std::optional<LicenceVerdict>;
  const struct {
    const char* name;
    void (*edit)(LicenceFields&);
    V want;
  } rows[] = {
      {"as made", [](LicenceFields&) {}, LicenceVerdict::kValid},
      {"not a token", [](LicenceFields& f) { f.token = "t"; }, LicenceVerdict::kMalformed},
      {"before year 0", [](LicenceFields& f) { f.issued = -62167219201; }, std::nullopt},
      {"year 10000", [](LicenceFields& f) { f.expires = 253402300800; }, std::nullopt},
      {"feature with a blank", [](LicenceFields& f) { f.features = {"a b"}; }, std::nullopt},
      {"key id short", [](LicenceFields& f) { f.keyId = "0"; }, std::nullopt},
      {"DEL", [](LicenceFields& f) { f.licensee = "\x7f"; }, std::nullopt},
      {"blank last", [](LicenceFields& f) { f.licensee = "a "; }, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LicenceFields fields = test::FixtureFields();
    fields.token = MakeToken(CollectComponents(), test::kLicenceAppKey);
    fields.keyId = KeyIdText(KeyIdOf(key.PublicPoint()));
    row.edit(fields);
    if (!row.want) {
      EXPECT_THROW(WriteLicencePayload(fields), std::logic_error);
      continue;
    }
    LicenceOptions options;
    options.now = fields.issued;
    const LicenceCheck check = VerifyLicence(SignLicence(key, fields), {key.PublicKeyText()},
                                             test::kLicenceAppKey, test::kLicenceApp, options);
    ASSERT_EQ(check.verdict, *row.want) << check.detail;
    EXPECT_EQ(WriteLicencePayload(check.fields), WriteLicencePayload(fields));
    EXPECT_EQ(check.fields.features, fields.features);
  }
}

}  // namespace
}  // namespace vrel
