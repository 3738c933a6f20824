// The tables, prefixed vrel_ (the schema's number is vrel_meta's 'schema'):
//   vrel_meta(key, value)               'schema': the schema version
//   vrel_machine(id, seq, first_seen, since, last_seen, token)
//                                       as SQLite's; ids and sequence numbers
//                                       come from the sequences vrel_machine_ids
//                                       and vrel_enroll_sequence (never reused)
//   vrel_digest(component, digest, machine)   the index of latest tokens' strong digests
//   vrel_history(machine, version, token, first_seen, last_seen)
#include "vrel/registry/postgres/postgres_schema.h"

#include "vrel/registry/storage.h"

namespace vrel::registry {

std::string PostgresSchema() {
  return "CREATE TABLE vrel_meta(key text PRIMARY KEY, value bigint NOT NULL);"
         "INSERT INTO vrel_meta VALUES ('schema', " +
         std::to_string(kSchemaVersion) +
         ");"
         "CREATE SEQUENCE vrel_machine_ids;"
         "CREATE SEQUENCE vrel_enroll_sequence;"
         "CREATE TABLE vrel_machine(id bigint PRIMARY KEY, seq bigint NOT NULL,"
         " first_seen bigint NOT NULL, since bigint NOT NULL, last_seen bigint NOT NULL,"
         " token bytea NOT NULL);"
         "CREATE TABLE vrel_digest(component smallint NOT NULL, digest bigint NOT NULL,"
         " machine bigint NOT NULL, PRIMARY KEY(component, digest, machine));"
         "CREATE TABLE vrel_history(machine bigint NOT NULL, version bigint NOT NULL,"
         " token bytea NOT NULL, first_seen bigint NOT NULL, last_seen bigint NOT NULL,"
         " PRIMARY KEY(machine, version));";
}

}  // namespace vrel::registry
