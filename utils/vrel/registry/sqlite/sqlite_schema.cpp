// The tables (the schema's number is the database's user_version):
//   meta(key, value)                 counters: the next machine id, the next sequence number
//   machine(id, seq, first_seen, since, last_seen, token)
//                                    the latest token (EncodeStoredToken's bytes) and since
//                                    when it is the latest
//   digest(component, digest, machine)   WITHOUT ROWID: the index of latest tokens' strong
//                                    digests, each an 8-byte integer; a lookup is one range
//   history(machine, version, token, first_seen, last_seen)   WITHOUT ROWID: earlier tokens
// and, from schema 2, licences:
//   setting(key, value)              'application': the default application name
//   licence(id, key_hash, application, name, features, seats, expires, ttl, lease,
//           created, revoked, held)  a key's hash only, never a key; held counts its
//                                    seat rows, kept by triggers on seat
//   seat(licence, machine, activated, checked_in)   WITHOUT ROWID: the machines holding seats
//   audit(id, time, event, licence, machine)        every activation, check-in and release
#include "vrel/registry/sqlite/sqlite_schema.h"

#include "vrel/registry/storage.h"

namespace vrel::registry {

std::string SqliteLicenceSchema() {
  return "CREATE TABLE setting(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;"
         "CREATE TABLE licence(id INTEGER PRIMARY KEY, key_hash BLOB NOT NULL UNIQUE,"
         " application TEXT NOT NULL, name TEXT NOT NULL, features TEXT NOT NULL,"
         " seats INTEGER NOT NULL, expires INTEGER NOT NULL, ttl INTEGER NOT NULL,"
         " lease INTEGER NOT NULL, created INTEGER NOT NULL, revoked INTEGER NOT NULL,"
         " held INTEGER NOT NULL DEFAULT 0);"
         "CREATE TABLE seat(licence INTEGER NOT NULL REFERENCES licence(id),"
         " machine INTEGER NOT NULL REFERENCES machine(id), activated INTEGER NOT NULL,"
         " checked_in INTEGER NOT NULL, PRIMARY KEY(licence, machine)) WITHOUT ROWID;"
         "CREATE INDEX seat_machine ON seat(machine);"
         "CREATE INDEX seat_lapse ON seat(licence, checked_in);"
         "CREATE TRIGGER seat_taken AFTER INSERT ON seat BEGIN"
         " UPDATE licence SET held = held + 1 WHERE id = NEW.licence; END;"
         "CREATE TRIGGER seat_freed AFTER DELETE ON seat BEGIN"
         " UPDATE licence SET held = held - 1 WHERE id = OLD.licence; END;"
         "CREATE TABLE audit(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, event TEXT NOT NULL,"
         " licence INTEGER NOT NULL, machine INTEGER NOT NULL);"
         "PRAGMA user_version=" +
         std::to_string(kSchemaVersion) + ";";
}

std::string SqliteSchema() {
  return "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
         "INSERT INTO meta VALUES('next_id', 1), ('next_seq', 1);"
         "CREATE TABLE machine(id INTEGER PRIMARY KEY, seq INTEGER NOT NULL,"
         " first_seen INTEGER NOT NULL, since INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
         " token BLOB NOT NULL);"
         "CREATE TABLE digest(component INTEGER NOT NULL, digest INTEGER NOT NULL,"
         " machine INTEGER NOT NULL, PRIMARY KEY(component, digest, machine)) WITHOUT ROWID;"
         "CREATE TABLE history(machine INTEGER NOT NULL, version INTEGER NOT NULL,"
         " token BLOB NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
         " PRIMARY KEY(machine, version)) WITHOUT ROWID;" +
         SqliteLicenceSchema();
}

}  // namespace vrel::registry
