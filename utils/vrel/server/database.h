// The registry as the server uses it, from threads of its own so that no I/O
// thread waits for the database.
//
// Writes are committed in groups: a writer takes every write waiting (up to the
// storage's write group), runs them in one transaction, commits once and only
// then answers them all, so that each answer is durable before it is sent and
// a burst of requests costs one commit, not one each. A lost race with another
// writer runs the whole group again (RunTransaction). A group that fails for
// any other reason than the database is run again one write at a time, so that
// one bad write cannot fail the others. SQLite has one writer; a backend that
// takes concurrent writers has several, each on its own connection. Reads run
// on connections of their own, one transaction each.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "vrel/registry/licences/licensing.h"
#include "vrel/registry/registry.h"
#include "vrel/server/metrics.h"

namespace vrel::server {

// Runs inside a transaction, perhaps more than once: it must start from
// scratch each time (keeping only its last run's result).
using Work = std::function<void(registry::Registry& registry, std::int64_t now)>;
// Called once, after the commit (null) or with what failed the work; from a
// database thread.
using Done = std::function<void(std::exception_ptr failure)>;

class Database {
 public:
  // Opens every connection (the registry is made when missing); throws
  // StorageError when it cannot.
  Database(const std::string& uri, registry::RegistryOptions options, unsigned writers,
           unsigned readers, Metrics& metrics);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // `licence`: the licence key the write activates or deactivates under, if
  // any; a group claims all of its licences first, in one order, so that
  // writers of groups that share licences never wait for each other in a circle.
  void Write(Work work, Done done, std::string licence = {});
  void Read(Work work, Done done);
  // Finishes what is queued, then stops the threads.
  void Stop();

 private:
  struct Job {
    Work work;
    Done done;
    std::string licence;
  };
  struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Job> jobs;
    bool stopping = false;
    void Push(Job job);
    // Up to `most` jobs, waiting for one; empty once stopping and drained.
    std::vector<Job> Take(std::size_t most);
  };
  struct Connection {
    std::unique_ptr<registry::Storage> storage;
    std::unique_ptr<registry::Registry> registry;
  };

  void RunWriter(Connection& connection);
  void RunReader(Connection& connection);
  // Runs `jobs` in one transaction of `access` and answers them.
  void RunGroup(Connection& connection, std::vector<Job>& jobs, registry::Access access);

  Metrics& metrics_;
  Queue writes_, reads_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::thread> threads_;
};

}  // namespace vrel::server
