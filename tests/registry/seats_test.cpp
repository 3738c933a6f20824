// Licences held by machines, on every backend: seats taken, refused, freed,
// kept through a reinstall and lapsed with a lease; four processes racing for
// the last seat; a schema-1 registry upgraded by its first write; licences
// through export and import, and no key stored.
#include <sqlite3.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "backends.h"
#include "vrel/licence/ecdsa.h"
#include "vrel/licence/public_key.h"
#include "vrel/registry/licences/licence_key.h"
#include "vrel/registry/licences/licence_report.h"
#include "vrel/registry/plans.h"
#include "vrel/registry/report.h"

namespace vrel::registry {
namespace {

constexpr std::int64_t kT = 1800000000;  // 2027-01-15

const SigningKey& Signer() {
  static const SigningKey key = SigningKey::Generate();
  return key;
}

class SeatsTest : public BackendTest {
 protected:
  NewLicence Create(LicenceTerms terms) {
    terms.application = "Example Writer";
    NewLicence made;
    RunTransaction(*storage_, true, [&] { made = CreateLicence(storage_->licences(), terms, kT); });
    return made;
  }
  Activation Act(const std::string& key, const char* fp, std::int64_t now) {
    Registry registry(*storage_, {});
    Activation result;
    RunTransaction(*storage_, true, [&] { result = Activate(registry, Signer(), key, Fp(fp), now); });
    return result;
  }
  Deactivation Drop(const std::string& key, MachineId machine, const char* fp, std::int64_t now) {
    Registry registry(*storage_, {});
    const Fingerprint token = fp != nullptr ? Fp(fp) : Fingerprint{};
    Deactivation result;
    RunTransaction(*storage_, true, [&] {
      result = Deactivate(registry, key, machine, fp != nullptr ? &token : nullptr, now);
    });
    return result;
  }
  std::string Events() {
    std::string events;
    RunTransaction(*storage_, false, [&] {
      events.clear();
      for (const AuditRow& row : storage_->licences().AuditTrail(0, 100))
        events += row.event + ":" + std::to_string(row.machine) + " ";
    });
    return events;
  }
  // The schema the registry records: SQLite's user_version, PostgreSQL's vrel_meta.
  std::string Version() {
    if (std::string(GetParam().name) == "sqlite") {
      sqlite3* db = nullptr;
      sqlite3_open((scratch_ + ".db").c_str(), &db);
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
      sqlite3_step(stmt);
      const std::string version = std::to_string(sqlite3_column_int(stmt, 0));
      sqlite3_finalize(stmt);
      sqlite3_close(db);
      return version;
    }
    std::string why;
    return test::PostgresServer::Shared(why)->Value("SELECT value FROM " + Schema() +
                                                    ".vrel_meta WHERE key = 'schema'");
  }
  std::string Schema() const { return uri_.substr(uri_.rfind("%3D") + 3); }
};

TEST_P(SeatsTest, SeatsAreTakenRefusedFreedAndKeptThroughAReinstall) {
  LicenceTerms terms;
  terms.seats = 2;
  terms.ttl = 1000;
  terms.expires = kT + 5000;
  terms.features = {"export", "print"};
  const NewLicence licence = Create(terms);
  const std::string& key = licence.key;

  const Activation a = Act(key, "1 2 3 4 5", kT);
  const Activation b = Act(key, "1 12 13 14 15", kT);
  ASSERT_TRUE(a.activated && b.activated) << a.reason << b.reason;
  EXPECT_EQ(b.seats.used, 2);
  const Activation c = Act(key, "1 22 23 24 25", kT);
  EXPECT_EQ(c.reason, "no-seat");
  EXPECT_EQ(storage_->MachineCount(), 2);  // a refusal stores nothing

  // Reinstalled (new volume and installation): the same machine, its seat kept.
  const Activation again = Act(key, "1 9 8 4 5", kT + 10);
  ASSERT_TRUE(again.activated);
  EXPECT_EQ(again.machine, a.machine);
  EXPECT_FALSE(again.newSeat);
  EXPECT_EQ(again.seats.used, 2);
  const LicenceFileContents file = ReadLicenceFile(again.file);
  ASSERT_EQ(file.status, LicenceReadStatus::kOk);
  EXPECT_EQ(file.fields.machineId, std::to_string(a.machine));
  EXPECT_EQ(file.fields.token, FormatToken(Fp("1 9 8 4 5")));
  EXPECT_EQ(file.fields.checkIn, kT + 10 + 1000);  // issued + ttl, before the expiry
  EXPECT_EQ(file.fields.expires, kT + 5000);
  EXPECT_EQ(file.fields.features, terms.features);
  EXPECT_EQ(file.fields.application, "Example Writer");
  const std::string message = LicenceSignedMessage(file.payload);
  EXPECT_TRUE(VerifyP256Sha256(ParsePublicKey(Signer().PublicKeyText()).point,
                               reinterpret_cast<const std::uint8_t*>(message.data()),
                               message.size(), file.signature.data(), file.signature.size()));

  // Freed by deactivation (by id, then by token) and by removal.
  EXPECT_TRUE(Drop(key, a.machine, nullptr, kT + 20).deactivated);
  EXPECT_EQ(Drop(key, a.machine, nullptr, kT + 20).reason, "not-activated");
  const Activation c2 = Act(key, "1 22 23 24 25", kT + 30);
  ASSERT_TRUE(c2.activated);
  EXPECT_EQ(Drop(key, 0, "1 12 13 14 15", kT + 40).seats.used, 1);
  {
    Registry registry(*storage_, {});
    RunTransaction(*storage_, true, [&] { ASSERT_TRUE(registry.Remove(c2.machine, kT + 50)); });
  }
  EXPECT_EQ(Act(key, "1 2 3 4 5", kT + 60).seats.used, 1);

  // Expired; then revoked, answered as a key never issued and a text not of a key's form.
  EXPECT_EQ(Act(key, "1 2 3 4 5", kT + 5000).reason, "licence-expired");
  RunTransaction(*storage_, true, [&] { ASSERT_TRUE(Revoke(storage_->licences(), licence.row.id, kT + 70)); });
  const Activation revoked = Act(key, "1 2 3 4 5", kT + 80);
  const Activation unknown = Act(NewLicenceKey(), "1 2 3 4 5", kT + 80);
  const Activation garbage = Act("not a key", "1 2 3 4 5", kT + 80);
  EXPECT_EQ(revoked.reason, "unknown-licence");
  EXPECT_EQ(ActivationJson(revoked, 1), ActivationJson(unknown, 1));
  EXPECT_EQ(ActivationJson(garbage, 1), ActivationJson(unknown, 1));
  EXPECT_EQ(ActivationJson(revoked, 1).find(key.substr(0, 5)), std::string::npos);
  EXPECT_EQ(Events(),
            "activate:1 activate:2 check-in:1 deactivate:1 activate:3 deactivate:2 release:3 "
            "activate:1 revoke:0 ");
}

TEST_P(SeatsTest, ALeaseFreesASilentMachinesSeat) {
  LicenceTerms terms;
  terms.seats = 1;
  terms.ttl = 1000;
  terms.lease = 100;
  const std::string key = Create(terms).key;
  const Activation a = Act(key, "1 2 3 4 5", kT);
  ASSERT_TRUE(a.activated);
  EXPECT_EQ(a.fields.checkIn, kT + 100);  // never past the lease's end
  EXPECT_EQ(a.fields.expires, kNeverExpires);
  EXPECT_EQ(Act(key, "1 12 13 14 15", kT + 50).reason, "no-seat");
  EXPECT_FALSE(Act(key, "1 2 3 4 5", kT + 60).newSeat);  // a check-in renews the lease
  EXPECT_EQ(Act(key, "1 12 13 14 15", kT + 159).reason, "no-seat");
  const Activation b = Act(key, "1 12 13 14 15", kT + 160);
  ASSERT_TRUE(b.activated);
  EXPECT_EQ(b.seats.used, 1);
  EXPECT_EQ(Act(key, "1 2 3 4 5", kT + 161).reason, "no-seat");
  EXPECT_EQ(Events(), "activate:1 check-in:1 lapse:1 activate:2 ");
}

// Each child opens the registry itself, waits for the start, and exits 0 when it got a seat.
TEST_P(SeatsTest, FourProcessesRaceForTheLastSeat) {
  LicenceTerms terms;
  terms.seats = 2;
  const std::string key = Create(terms).key;
  ASSERT_TRUE(Act(key, "1 2 3 4 5", kT).activated);
  storage_.reset();  // the children inherit no connection (and memcheck no block of it)
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 4; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      close(start[1]);
      int code = 2;
      try {
        std::unique_ptr<Storage> storage = OpenStorage(uri_, OpenMode::kWrite);
        Registry registry(*storage, {});
        const std::string fp = "1 " + std::to_string(20 + i) + " 3" + std::to_string(i) + " 4" +
                               std::to_string(i) + " 5" + std::to_string(i);
        char go;
        (void)!read(start[0], &go, 1);
        Activation result;
        RunTransaction(*storage, true, [&] {
          ClaimLicences(registry, {key, "not a key"});  // as a batch of several licences would
          result = Activate(registry, Signer(), key, Fp(fp), kT);
        });
        code = result.activated ? 0 : result.reason == "no-seat" ? 1 : 3;
      } catch (...) {
      }
      _exit(code);
    }
    children.push_back(child);
  }
  close(start[0]);
  close(start[1]);  // all start at once
  std::vector<int> codes;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<int>{0, 1, 1, 1}));
  storage_ = OpenStorage(uri_, OpenMode::kWrite);
  EXPECT_EQ(Act(key, "1 2 3 4 5", kT).seats.used, 2);
}

// A schema-2 registry with the licences' tables taken away is what schema 1 was.
TEST_P(SeatsTest, SchemaOneIsReadAsItIsAndUpgradedByTheFirstWrite) {
  Registry registry(*storage_, {});
  RunTransaction(*storage_, true, [&] { registry.Enroll(Fp("1 2 3 4 5"), kT); });
  storage_.reset();
  if (std::string(GetParam().name) == "sqlite") {
    sqlite3* db = nullptr;
    sqlite3_open((scratch_ + ".db").c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db,
                           "DROP TABLE seat; DROP TABLE audit; DROP TABLE licence; DROP TABLE "
                           "setting; PRAGMA user_version=1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  } else {
    std::string why;
    const std::string s = Schema() + ".";
    ASSERT_TRUE(test::PostgresServer::Shared(why)->Execute(
        "DROP TABLE " + s + "vrel_seat, " + s + "vrel_audit, " + s + "vrel_licence, " + s +
        "vrel_setting; DROP SEQUENCE " + s + "vrel_licence_ids; UPDATE " + s +
        "vrel_meta SET value = 1"));
  }
  ASSERT_EQ(Version(), "1");
  storage_ = OpenStorage(uri_, OpenMode::kRead);
  RunTransaction(*storage_, false, [&] {
    EXPECT_TRUE(storage_->licences().Licences(0, 10).empty());
    EXPECT_EQ(storage_->licences().DefaultApplication(), "");
    EXPECT_EQ(storage_->MachineCount(), 1);
  });
  storage_ = OpenStorage(uri_, OpenMode::kWrite);
  {
    Transaction abandoned(*storage_, true);  // rolled back: the upgrade with it
  }
  EXPECT_EQ(Version(), "1");
  LicenceTerms terms;
  terms.seats = 1;
  const std::string key = Create(terms).key;
  EXPECT_EQ(Version(), "2");
  const Activation a = Act(key, "1 2 3 4 5", kT);
  EXPECT_TRUE(a.activated && a.newSeat && a.machine == 1);
}

// The export's licence lines read back into a new registry give the same lines;
// neither the database nor the export holds the key.
TEST_P(SeatsTest, LicencesMoveThroughExportAndNoKeyIsStored) {
  LicenceTerms terms;
  terms.seats = 3;
  terms.lease = 600;
  terms.name = "Example \"Ltd\"";
  const std::string key = Create(terms).key;
  Act(key, "1 2 3 4 5", kT);
  Act(key, "1 12 13 14 15", kT + 1);
  const auto exportLines = [](Storage& storage) {
    std::vector<std::string> lines;
    RunTransaction(storage, false, [&] {
      lines.clear();
      for (const MachineRecord& record : Records(storage.Machines(0, 100))) lines.push_back(ExportJson(record));
      LicenceStorage& licences = storage.licences();
      lines.push_back(DefaultsExportJson(licences.DefaultApplication()));
      for (const LicenceRow& row : licences.Licences(0, 100)) {
        lines.push_back(LicenceExportJson(row));
        for (const SeatRow& seat : licences.Seats(row.id)) lines.push_back(SeatExportJson(seat));
      }
      for (const AuditRow& row : licences.AuditTrail(0, 100)) lines.push_back(AuditExportJson(row));
    });
    return lines;
  };
  const std::vector<std::string> lines = exportLines(*storage_);
  LicenceImport batch;
  std::vector<MachineRecord> machines;
  for (const std::string& line : lines) {
    std::string problem;
    const ExportLine kind = ReadLicenceExportJson(line, batch, problem);
    ASSERT_NE(kind, ExportLine::kBad) << problem << ": " << line;
    if (kind == ExportLine::kMachine) {
      ASSERT_TRUE(ParseExportJson(line, machines.emplace_back(), problem));
    }
  }
  const std::string scratch = scratch_;
  scratch_ += "-copy";
  TearDown();
  std::unique_ptr<Storage> copy = OpenStorage(GetParam().uri(scratch_), true);
  RunTransaction(*copy, Access::kWhole, [&] {
    copy->Apply(PlanImport(machines));
    copy->licences().Import(batch);
  });
  EXPECT_EQ(exportLines(*copy), lines);
  const std::string normalised = *NormaliseLicenceKey(key);
  for (const std::string& line : lines) EXPECT_EQ(line.find(normalised.substr(0, 10)), std::string::npos);

  std::string stored;  // every byte the database holds
  if (std::string(GetParam().name) == "sqlite") {
    copy.reset();
    for (const char* suffix : {".db", ".db-wal"}) {
      std::ifstream in(scratch + suffix, std::ios::binary);
      stored.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  } else {
    std::string why;
    stored = test::PostgresServer::Shared(why)->Value(
        "SELECT string_agg(t::text, ' ') FROM " + uri_.substr(uri_.rfind("%3D") + 3) + ".vrel_licence t");
  }
  EXPECT_FALSE(stored.empty());
  EXPECT_EQ(stored.find(normalised.substr(0, 10)), std::string::npos);
  EXPECT_EQ(stored.find(key.substr(0, 11)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Backends, SeatsTest, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

// The widest activation a licence's terms allow fits the C interface's bound.
TEST(SeatsReport, WidestActivationFitsTheBound) {
  LicenceFields fields;
  fields.application = std::string(200, '"');
  fields.licensee = std::string(200, '\\');
  fields.features.assign(64, std::string(64, 'f'));
  fields.licenceId = fields.machineId = "9223372036854775807";
  fields.token = "vfp1-" + std::string(kMaxTokenLength - 5, 'a');
  fields.issued = fields.expires = fields.checkIn = kNeverExpires;
  Activation widest;
  widest.activated = widest.newSeat = true;
  widest.licence = widest.machine = widest.seats.used = widest.seats.total = 9223372036854775807;
  widest.fields = fields;
  widest.file = SignLicence(Signer(), fields);
  EXPECT_LE(ActivationJson(widest, 0).size(), kMaxActivationJsonLength);
}

}  // namespace
}  // namespace vrel::registry
