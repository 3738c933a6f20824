// The tables, prefixed vrel_ (the schema's number is vrel_meta's 'schema'):
//   vrel_meta(key, value)               'schema': the schema version
//   vrel_machine(id, seq, first_seen, since, last_seen, token)
//                                       as SQLite's; ids and sequence numbers
//                                       come from the sequences vrel_machine_ids
//                                       and vrel_enroll_sequence (never reused)
//   vrel_digest(component, digest, machine)   the index of latest tokens' strong digests
//   vrel_history(machine, version, token, first_seen, last_seen)
// and, from schema 2, licences, as SQLite's (ids from vrel_licence_ids):
//   vrel_setting(key, value), vrel_licence(...), vrel_seat(...), vrel_audit(...)
#include "vrel/registry/postgres/postgres_schema.h"

#include "vrel/registry/storage.h"

namespace vrel::registry {

std::string PostgresLicenceSchema() {
  return "CREATE TABLE vrel_setting(key text PRIMARY KEY, value text NOT NULL);"
         "CREATE SEQUENCE vrel_licence_ids;"
         "CREATE TABLE vrel_licence(id bigint PRIMARY KEY, key_hash bytea NOT NULL UNIQUE,"
         " application text NOT NULL, name text NOT NULL, features text NOT NULL,"
         " seats bigint NOT NULL, expires bigint NOT NULL, ttl bigint NOT NULL,"
         " lease bigint NOT NULL, created bigint NOT NULL, revoked bigint NOT NULL,"
         " held bigint NOT NULL DEFAULT 0);"
         "CREATE TABLE vrel_seat(licence bigint NOT NULL REFERENCES vrel_licence(id),"
         " machine bigint NOT NULL REFERENCES vrel_machine(id), activated bigint NOT NULL,"
         " checked_in bigint NOT NULL, PRIMARY KEY(licence, machine));"
         "CREATE INDEX vrel_seat_machine ON vrel_seat(machine);"
         "CREATE INDEX vrel_seat_lapse ON vrel_seat(licence, checked_in);"
         "CREATE OR REPLACE FUNCTION vrel_seat_count() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
         " IF TG_OP = 'INSERT' THEN UPDATE vrel_licence SET held = held + 1 WHERE id = NEW.licence;"
         " ELSE UPDATE vrel_licence SET held = held - 1 WHERE id = OLD.licence; END IF;"
         " RETURN NULL; END $$;"
         "CREATE TRIGGER vrel_seat_count AFTER INSERT OR DELETE ON vrel_seat FOR EACH ROW"
         " EXECUTE FUNCTION vrel_seat_count();"
         "CREATE TABLE vrel_audit(id bigserial PRIMARY KEY, time bigint NOT NULL,"
         " event text NOT NULL, licence bigint NOT NULL, machine bigint NOT NULL);"
         "UPDATE vrel_meta SET value = " +
         std::to_string(kSchemaVersion) + " WHERE key = 'schema';";
}

std::string PostgresSchema() {
  return "CREATE TABLE vrel_meta(key text PRIMARY KEY, value bigint NOT NULL);"
         "INSERT INTO vrel_meta VALUES ('schema', 1);"
         "CREATE SEQUENCE vrel_machine_ids;"
         "CREATE SEQUENCE vrel_enroll_sequence;"
         "CREATE TABLE vrel_machine(id bigint PRIMARY KEY, seq bigint NOT NULL,"
         " first_seen bigint NOT NULL, since bigint NOT NULL, last_seen bigint NOT NULL,"
         " token bytea NOT NULL);"
         "CREATE TABLE vrel_digest(component smallint NOT NULL, digest bigint NOT NULL,"
         " machine bigint NOT NULL, PRIMARY KEY(component, digest, machine));"
         "CREATE TABLE vrel_history(machine bigint NOT NULL, version bigint NOT NULL,"
         " token bytea NOT NULL, first_seen bigint NOT NULL, last_seen bigint NOT NULL,"
         " PRIMARY KEY(machine, version));" +
         PostgresLicenceSchema();
}

}  // namespace vrel::registry
