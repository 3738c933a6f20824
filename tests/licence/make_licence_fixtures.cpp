// Writes the licence tests' fixture files into DIR (tests/licence/data): two
// new keys' public key texts (signer.pub signs, stranger.pub never does), the
// home machine's licence (valid.lic) and one of format 2 (format2.lic). The
// private keys are not kept. Run natively: make_licence_fixtures DIR. With a
// TOKEN too (vreltest's check, at test time), also three licences for it under
// signer.pub: this.lic valid until 2100, due.lic past its check-in deadline and
// now.lic issued at this program's clock (under faketime, a server's clock
// that is ahead).
#include <ctime>
#include <fstream>
#include <iostream>

#include "licence_machine.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/signer/signing_key.h"

int main(int argc, char** argv) {
  using namespace vrel;
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: make_licence_fixtures DIR [TOKEN]\n";
    return 2;
  }
  const std::string dir = argv[1];
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  };
  const SigningKey signer = SigningKey::Generate();
  write("signer.pub", signer.PublicKeyText() + "\n");
  write("stranger.pub", SigningKey::Generate().PublicKeyText() + "\n");
  test::FakeMachine machine;
  test::ScriptLicenceMachine(machine, true);
  LicenceFields fields = test::FixtureFields();
  fields.token = MakeToken(CollectComponents(), test::kLicenceAppKey);
  write("valid.lic", SignLicence(signer, fields));
  fields.format = 2;
  write("format2.lic", SignLicence(signer, fields));
  if (argc == 3) {
    fields.format = kLicenceFormat;
    fields.token = argv[2];
    fields.expires = 4102444800;  // 2100-01-01T00:00:00Z
    write("due.lic", SignLicence(signer, fields));
    fields.checkIn = fields.expires;
    write("this.lic", SignLicence(signer, fields));
    fields.issued = std::time(nullptr);
    write("now.lic", SignLicence(signer, fields));
  }
  return 0;
}
