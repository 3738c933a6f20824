// The signer (native): the key file's rules, and a signed licence that the
// verifier reads back field for field.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "licence_machine.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/licence.h"
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
  std::filesystem::remove(path);
}

TEST(SignerTest, SignedLicenceReadsBackAsWritten) {
  test::FakeMachine machine;
  test::ScriptLicenceMachine(machine, true);
  const SigningKey key = SigningKey::Generate();
  LicenceFields fields = test::FixtureFields();
  fields.token = MakeToken(CollectComponents(), test::kLicenceAppKey);
  LicenceOptions options;
  options.now = fields.issued;
  const LicenceCheck check = VerifyLicence(SignLicence(key, fields), {key.PublicKeyText()},
                                           test::kLicenceAppKey, test::kLicenceApp, options);
  ASSERT_EQ(check.verdict, LicenceVerdict::kValid) << check.detail;
  fields.keyId = check.fields.keyId;
  EXPECT_EQ(WriteLicencePayload(check.fields), WriteLicencePayload(fields));
  EXPECT_EQ(check.fields.features, fields.features);
}

}  // namespace
}  // namespace vrel
