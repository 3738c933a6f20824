// One connection: HTTP/1.1 requests read with Beast's parser (bodies and
// headers bounded), handed to the routes, answered in order, kept alive while
// the client wants. No thread waits on a connection: every step is an
// asynchronous operation on the connection's strand.
//
// Timeouts: an idle keep-alive connection is closed after the idle timeout; a
// request must arrive whole within the request timeout of its first byte (a
// client that trickles bytes is dropped), and so must an answer be taken.
// A connection closed after an answer (an error, a client's "Connection:
// close", shutdown) is closed lingering: the write side is shut, then what the
// client still sends is read and dropped for a moment, so that the answer is
// not destroyed by a reset before the client has read it.
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <optional>
#include <type_traits>

#include "vrel/server/http_server.h"

namespace vrel::server {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFirstRead = 1536;  // a check-in's request fits
constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

template <class Stream>
class Session : public Connection, public std::enable_shared_from_this<Session<Stream>> {
 public:
  template <class... Args>
  Session(Server& server, std::string client, Args&&... args)
      : server_(server), stream_(std::forward<Args>(args)...), client_(std::move(client)) {
    server_.metrics().ConnectionOpened();
  }
  ~Session() override {
    server_.Remove(id_);
    server_.metrics().ConnectionClosed();
  }

  void Start() {
    id_ = server_.Add(this->weak_from_this());
    net::dispatch(stream_.get_executor(), [self = this->shared_from_this()] { self->Begin(); });
  }

  void Stop() override {
    net::post(stream_.get_executor(), [self = this->shared_from_this()] {
      if (self->idle_) self->Tcp().cancel();
    });
  }

 private:
  beast::tcp_stream& Tcp() { return beast::get_lowest_layer(stream_); }
  const ConnectionSettings& Settings() const { return server_.settings(); }

  void Begin() {
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      Tcp().expires_after(Settings().requestTimeout);
      stream_.async_handshake(net::ssl::stream_base::server,
                              [self = this->shared_from_this()](beast::error_code ec) {
                                if (ec) return self->Close();
                                self->WaitForRequest();
                              });
    } else {
      WaitForRequest();
    }
  }

  // Between requests: the idle timeout runs until the next request's first byte.
  void WaitForRequest() {
    if (server_.stopping()) return Close();
    if (buffer_.size() > 0) return ReadHeader();
    idle_ = true;
    Tcp().expires_after(Settings().idleTimeout);
    stream_.async_read_some(buffer_.prepare(kFirstRead),
                            [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                              self->idle_ = false;
                              self->buffer_.commit(n);
                              if (ec) return self->Close();
                              self->ReadHeader();
                            });
  }

  void ReadHeader() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(Settings().headerLimit));
    parser_->body_limit(Settings().bodyLimit);
    Tcp().expires_after(Settings().requestTimeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->Refuse(ec);
                              self->ReadBody();
                            });
  }

  void ReadBody() {
    auto read = [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->Refuse(ec);
      self->Handle();
    };
    const auto& header = parser_->get();
    if (beast::iequals(header[http::field::expect], "100-continue") && !parser_->is_done()) {
      net::async_write(stream_, net::buffer(kContinue, sizeof kContinue - 1),
                       [self = this->shared_from_this(), read](beast::error_code ec, std::size_t) {
                         if (ec) return self->Close();
                         http::async_read(self->stream_, self->buffer_, *self->parser_, read);
                       });
      return;
    }
    http::async_read(stream_, buffer_, *parser_, read);
  }

  // A request that could not be read whole: answered when the client may read
  // the answer, otherwise dropped.
  void Refuse(beast::error_code ec) {
    if (ec == http::error::body_limit)
      return Answer(ErrorResponse(413, "the body is longer than " +
                                           std::to_string(Settings().bodyLimit) + " bytes"),
                    true);
    if (ec == http::error::header_limit)
      return Answer(ErrorResponse(431, "the request's headers are longer than " +
                                           std::to_string(Settings().headerLimit) + " bytes"),
                    true);
    if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message)
      return Answer(ErrorResponse(400, "the request is not HTTP/1.1 as it should be"), true);
    Close();  // the client left, or timed out
  }

  void Handle() {
    Tcp().expires_never();  // nothing is read while the request is worked on
    started_ = Clock::now();
    auto& message = parser_->get();
    keepAlive_ = message.keep_alive();
    version_ = message.version();
    Request request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.authorization = std::string(message[http::field::authorization]);
    request.body = std::move(message.body());
    request.client = client_;
    method_ = request.method;
    parser_.reset();
    // The guard keeps the I/O threads running until the answer is back, even
    // when the server stops and nothing else is left to do.
    auto work = net::make_work_guard(stream_.get_executor());
    server_.api().Handle(request, [self = this->shared_from_this(), work](Response response) {
      net::post(self->stream_.get_executor(), [self, response = std::move(response)]() mutable {
        self->Answer(std::move(response), false);
      });
    });
  }

  void Answer(Response answer, bool close) {
    if (close) started_ = Clock::now();
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    server_.metrics().Request(answer.route, answer.status, seconds);
    LogLine(RequestLogJson(client_, close ? "-" : method_, answer.route, answer.status, seconds,
                           answer.error));
    response_.emplace(static_cast<http::status>(answer.status), close ? 11 : version_);
    response_->set(http::field::server, "vrel-server");
    response_->set(http::field::content_type, answer.contentType);
    response_->set(http::field::cache_control, "no-store");
    for (const auto& [name, value] : answer.headers) response_->set(name, value);
    response_->body() = std::move(answer.body);
    response_->keep_alive(!close && keepAlive_ && !server_.stopping());
    response_->prepare_payload();
    Tcp().expires_after(Settings().requestTimeout);
    http::async_write(stream_, *response_,
                      [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                        if (ec) return self->Close();
                        const bool keep = self->response_->keep_alive();
                        self->response_.reset();
                        if (keep) return self->WaitForRequest();
                        self->Linger();
                      });
  }

  void Linger() {
    Tcp().expires_after(Settings().lingerTimeout);
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      stream_.async_shutdown(
          [self = this->shared_from_this()](beast::error_code) { self->ShutWrite(); });
    } else {
      ShutWrite();
    }
  }

  void ShutWrite() {
    beast::error_code ignored;
    Tcp().socket().shutdown(tcp::socket::shutdown_send, ignored);
    buffer_.clear();
    Drain(0);
  }

  void Drain(std::size_t drained) {
    if (drained > Settings().lingerBytes) return Close();
    buffer_.clear();
    Tcp().async_read_some(buffer_.prepare(4096), [self = this->shared_from_this(), drained](
                                                     beast::error_code ec, std::size_t n) {
      if (ec) return self->Close();
      self->Drain(drained + n);
    });
  }

  void Close() {
    beast::error_code ignored;
    Tcp().socket().shutdown(tcp::socket::shutdown_both, ignored);
    Tcp().close();
  }

  Server& server_;
  Stream stream_;
  std::string client_;
  std::uint64_t id_ = 0;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<http::response<http::string_body>> response_;
  bool idle_ = false;
  bool keepAlive_ = false;
  unsigned version_ = 11;
  std::string method_;
  Clock::time_point started_;
};

}  // namespace

void StartSession(Server& server, tcp::socket socket, net::ssl::context* tls) {
  beast::error_code ec;
  socket.set_option(tcp::no_delay(true), ec);
  const tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return;  // gone already
  std::string client = peer.address().to_string();
  if (tls != nullptr) {
    std::make_shared<Session<TlsStream>>(server, std::move(client), std::move(socket), *tls)
        ->Start();
  } else {
    std::make_shared<Session<PlainStream>>(server, std::move(client), std::move(socket))->Start();
  }
}

}  // namespace vrel::server
