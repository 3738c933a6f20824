// The tables (the schema's number is the database's user_version):
//   meta(key, value)                 counters: the next machine id, the next sequence number
//   machine(id, seq, first_seen, since, last_seen, token)
//                                    the latest token (EncodeStoredToken's bytes) and since
//                                    when it is the latest
//   digest(component, digest, machine)   WITHOUT ROWID: the index of latest tokens' strong
//                                    digests, each an 8-byte integer; a lookup is one range
//   history(machine, version, token, first_seen, last_seen)   WITHOUT ROWID: earlier tokens
#include "vrel/registry/sqlite/sqlite_schema.h"

#include "vrel/registry/storage.h"

namespace vrel::registry {

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
         " PRIMARY KEY(machine, version)) WITHOUT ROWID;"
         "PRAGMA user_version=" +
         std::to_string(kSchemaVersion) + ";";
}

}  // namespace vrel::registry
