#include "vrel/server/database.h"

#include <pthread.h>

#include <ctime>

namespace vrel::server {

using registry::Access;
using registry::OpenMode;

void Database::Queue::Push(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    jobs.push_back(std::move(job));
  }
  ready.notify_one();
}

std::vector<Database::Job> Database::Queue::Take(std::size_t most) {
  std::unique_lock<std::mutex> lock(mutex);
  ready.wait(lock, [&] { return stopping || !jobs.empty(); });
  std::vector<Job> taken;
  while (!jobs.empty() && taken.size() < most) {
    taken.push_back(std::move(jobs.front()));
    jobs.pop_front();
  }
  return taken;
}

Database::Database(const std::string& uri, registry::RegistryOptions options, unsigned writers,
                   unsigned readers, Metrics& metrics)
    : metrics_(metrics) {
  auto open = [&](OpenMode mode) {
    auto connection = std::make_unique<Connection>();
    connection->storage = registry::OpenStorage(uri, mode);
    connection->registry = std::make_unique<registry::Registry>(*connection->storage, options);
    connections_.push_back(std::move(connection));
  };
  open(OpenMode::kCreate);  // the first writer makes the registry, before anything reads it
  if (!connections_[0]->storage->capabilities().concurrentWriters) writers = 1;
  for (unsigned i = 1; i < writers; ++i) open(OpenMode::kWrite);
  for (unsigned i = 0; i < readers; ++i) open(OpenMode::kRead);
  for (unsigned i = 0; i < connections_.size(); ++i) {
    Connection& connection = *connections_[i];
    if (i < writers) {
      threads_.emplace_back([this, &connection] {
        pthread_setname_np(pthread_self(), "vrel-writer");
        RunWriter(connection);
      });
    } else {
      threads_.emplace_back([this, &connection] {
        pthread_setname_np(pthread_self(), "vrel-reader");
        RunReader(connection);
      });
    }
  }
}

Database::~Database() { Stop(); }

void Database::Write(Work work, Done done, std::string licence) {
  writes_.Push({std::move(work), std::move(done), std::move(licence)});
}

void Database::Read(Work work, Done done) { reads_.Push({std::move(work), std::move(done), {}}); }

void Database::Stop() {
  for (Queue* queue : {&writes_, &reads_}) {
    {
      std::lock_guard<std::mutex> lock(queue->mutex);
      queue->stopping = true;
    }
    queue->ready.notify_all();
  }
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void Database::RunWriter(Connection& connection) {
  const std::size_t group = connection.storage->capabilities().writeGroup;
  // Each group is let go before the next wait: its answers hold the I/O threads' work.
  for (std::vector<Job> jobs; !(jobs = writes_.Take(group)).empty(); jobs.clear())
    RunGroup(connection, jobs, Access::kWrite);
}

void Database::RunReader(Connection& connection) {
  for (std::vector<Job> jobs; !(jobs = reads_.Take(1)).empty(); jobs.clear())
    RunGroup(connection, jobs, Access::kRead);
}

void Database::RunGroup(Connection& connection, std::vector<Job>& jobs, Access access) {
  std::exception_ptr failure;
  std::vector<std::string> licences;
  for (const Job& job : jobs) {
    if (!job.licence.empty()) licences.push_back(job.licence);
  }
  try {
    registry::RunTransaction(*connection.storage, access, [&] {
      const auto now = static_cast<std::int64_t>(std::time(nullptr));
      registry::ClaimLicences(*connection.registry, licences);
      for (Job& job : jobs) job.work(*connection.registry, now);
    });
  } catch (const registry::StorageError&) {
    failure = std::current_exception();
    metrics_.DatabaseError();
  } catch (...) {
    failure = std::current_exception();
    if (jobs.size() > 1) {  // one write's own fault: run each alone
      for (Job& job : jobs) {
        std::vector<Job> alone;
        alone.push_back(std::move(job));
        RunGroup(connection, alone, access);
      }
      return;
    }
  }
  if (!failure && access == Access::kWrite) metrics_.WriteBatch(jobs.size());
  for (Job& job : jobs) job.done(failure);
}

}  // namespace vrel::server
