// TLS client streams with OpenSSL 3. The SSL object talks to the server
// through a BIO of our own whose reads and writes are the connection's
// Receive and SendAll, bounded by the deadline of the call in progress; so a
// time-out or an Interrupt ends a handshake or a transfer exactly as it ends a
// plain request, and no descriptor is touched behind the connection's back.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <map>
#include <string>

#include "platform/file.h"
#include "platform/tls.h"
#include "platform/tls_deadline.h"

namespace quorix::platform {

struct TlsClient::State {
  SSL_CTX* context = nullptr;
  BIO_METHOD* connection_bio = nullptr;
  std::map<std::string, SSL_SESSION*> sessions;  // by "host:port"

  ~State() {
    for (auto& [key, session] : sessions) SSL_SESSION_free(session);
    if (context != nullptr) SSL_CTX_free(context);
    if (connection_bio != nullptr) BIO_meth_free(connection_bio);
  }
};

struct TlsStream::State {
  TlsClient* client = nullptr;
  Connection* connection = nullptr;
  SSL* ssl = nullptr;
  std::string session_key;
  TlsDeadline deadline;
  bool timed_out = false;

  ~State() {
    if (ssl != nullptr) SSL_free(ssl);  // frees the BIO too
  }
};

namespace {

using StreamState = TlsStream::State;

StreamState* StateOf(BIO* bio) { return static_cast<StreamState*>(BIO_get_data(bio)); }

int ConnectionWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  StreamState* state = StateOf(bio);
  if (size <= 0) return 0;
  if (!state->connection->SendAll(std::string_view(data, static_cast<size_t>(size)),
                                  state->deadline.RemainingMs())) {
    if (state->deadline.Passed()) state->timed_out = true;
    return -1;
  }
  return size;
}

// 0 (the end of the stream) for a close, a time-out and an interrupt alike;
// the stream tells them apart afterwards.
int ConnectionRead(BIO* bio, char* buffer, int size) {
  BIO_clear_retry_flags(bio);
  StreamState* state = StateOf(bio);
  if (size <= 0) return 0;
  const int64_t got = state->connection->Receive(buffer, size, state->deadline.RemainingMs());
  if (got <= 0 && state->deadline.Passed()) state->timed_out = true;
  return static_cast<int>(got);
}

long ConnectionControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

// The first error of OpenSSL's queue as text (the queue is emptied).
std::string OpenSslReason(const char* fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  const char* reason = ERR_reason_error_string(code);
  return reason != nullptr ? reason : fallback;
}

// Adds every certificate of the PEM text to the trusted store; false when
// there is none.
bool AddPemCertificates(SSL_CTX* context, const std::string& pem) {
  BIO* memory = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (memory == nullptr) return false;
  X509_STORE* store = SSL_CTX_get_cert_store(context);
  int added = 0;
  while (X509* certificate = PEM_read_bio_X509(memory, nullptr, nullptr, nullptr)) {
    if (X509_STORE_add_cert(store, certificate) == 1) ++added;
    X509_free(certificate);
  }
  BIO_free(memory);
  ERR_clear_error();  // the read that ended the loop leaves "no start line"
  return added > 0;
}

}  // namespace

TlsClient::~TlsClient() = default;

std::unique_ptr<TlsClient> TlsClient::Create(const std::string& extra_ca_file, std::string* error) {
  auto fail = [&](const std::string& text) -> std::unique_ptr<TlsClient> {
    if (error != nullptr) *error = text;
    return nullptr;
  };
  std::unique_ptr<TlsClient> client(new TlsClient());
  client->extra_ca_file_ = extra_ca_file;
  client->state_ = std::make_unique<State>();
  State& state = *client->state_;

  state.context = SSL_CTX_new(TLS_client_method());
  if (state.context == nullptr) return fail(OpenSslReason("no TLS context"));
  SSL_CTX_set_min_proto_version(state.context, TLS1_2_VERSION);
  SSL_CTX_set_verify(state.context, SSL_VERIFY_PEER, nullptr);
  // HTTP/1.0 ends a response by closing the connection; a server that closes
  // without a closing alert is the common case, not an attack on the length.
  SSL_CTX_set_options(state.context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_read_ahead(state.context, 1);  // whole records per read, not header and body
  if (SSL_CTX_set_default_verify_paths(state.context) != 1) ERR_clear_error();
  if (!extra_ca_file.empty()) {
    std::string pem;
    if (!ReadWholeFile(extra_ca_file, &pem, int64_t{16} * 1024 * 1024)) {
      return fail("cannot read " + extra_ca_file);
    }
    if (!AddPemCertificates(state.context, pem)) {
      return fail("no certificate in " + extra_ca_file);
    }
  }

  state.connection_bio = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "connection");
  if (state.connection_bio == nullptr) return fail(OpenSslReason("no BIO method"));
  BIO_meth_set_write(state.connection_bio, ConnectionWrite);
  BIO_meth_set_read(state.connection_bio, ConnectionRead);
  BIO_meth_set_ctrl(state.connection_bio, ConnectionControl);
  return client;
}

TlsStream::~TlsStream() {
  if (!state_ || state_->ssl == nullptr) return;
  // A TLS 1.3 server sends its session tickets after the handshake; they have
  // arrived with the response, so the session is kept only now.
  // A copy: SSL_free marks the connection's own session as not resumable
  // when no closing alert was sent, and HTTP/1.0 never sends one.
  SSL_SESSION* current = SSL_get0_session(state_->ssl);
  if (current == nullptr || SSL_SESSION_is_resumable(current) != 1) return;
  SSL_SESSION* session = SSL_SESSION_dup(current);
  if (session == nullptr) return;
  auto& sessions = state_->client->state_->sessions;
  auto [entry, inserted] = sessions.emplace(state_->session_key, session);
  if (!inserted) {
    SSL_SESSION_free(entry->second);
    entry->second = session;
  }
}

std::unique_ptr<TlsStream> TlsStream::Handshake(TlsClient& client, Connection& connection,
                                                const std::string& host, int port, int timeout_ms,
                                                TlsFailure* failure, std::string* reason) {
  auto fail = [&](TlsFailure kind, const std::string& text) -> std::unique_ptr<TlsStream> {
    if (failure != nullptr) *failure = kind;
    if (reason != nullptr) *reason = text;
    return nullptr;
  };
  ERR_clear_error();
  std::unique_ptr<TlsStream> stream(new TlsStream());
  stream->state_ = std::make_unique<State>();
  State& state = *stream->state_;
  TlsClient::State& shared = *client.state_;
  state.client = &client;
  state.connection = &connection;
  state.session_key = host + ":" + std::to_string(port);
  state.ssl = SSL_new(shared.context);
  if (state.ssl == nullptr) return fail(TlsFailure::kProtocol, OpenSslReason("no TLS session"));

  BIO* bio = BIO_new(shared.connection_bio);
  if (bio == nullptr) return fail(TlsFailure::kProtocol, OpenSslReason("no BIO"));
  BIO_set_data(bio, &state);
  BIO_set_init(bio, 1);
  SSL_set_bio(state.ssl, bio, bio);

  // The name is checked against the certificate (an address against its IP
  // entries); a name is also sent, so that a shared server picks the right one.
  if (SSL_set1_host(state.ssl, host.c_str()) != 1) {
    return fail(TlsFailure::kProtocol, OpenSslReason("bad host name"));
  }
  ASN1_OCTET_STRING* address = a2i_IPADDRESS(host.c_str());
  if (address == nullptr) {
    ERR_clear_error();
    SSL_set_tlsext_host_name(state.ssl, host.c_str());
  } else {
    ASN1_OCTET_STRING_free(address);
  }
  const auto known = shared.sessions.find(state.session_key);
  if (known != shared.sessions.end()) SSL_set_session(state.ssl, known->second);

  state.deadline = TlsDeadline::After(timeout_ms);
  if (SSL_connect(state.ssl) == 1) {
    if (failure != nullptr) *failure = TlsFailure::kNone;
    return stream;
  }
  if (connection.Interrupted()) return fail(TlsFailure::kInterrupted, "interrupted");
  const long verified = SSL_get_verify_result(state.ssl);
  if (verified != X509_V_OK) {
    ERR_clear_error();
    return fail(TlsFailure::kCertificate, X509_verify_cert_error_string(verified));
  }
  if (state.timed_out) {
    ERR_clear_error();
    return fail(TlsFailure::kTimeout, "timed out");
  }
  return fail(TlsFailure::kProtocol, OpenSslReason("connection closed"));
}

bool TlsStream::SendAll(std::string_view data, int timeout_ms) {
  State& state = *state_;
  state.deadline = TlsDeadline::After(timeout_ms);
  while (!data.empty()) {
    size_t written = 0;
    if (SSL_write_ex(state.ssl, data.data(), data.size(), &written) != 1) {
      ERR_clear_error();
      return false;
    }
    data.remove_prefix(written);
  }
  return true;
}

int64_t TlsStream::Receive(char* buffer, int64_t size, int timeout_ms) {
  State& state = *state_;
  if (size <= 0) return 0;
  state.deadline = TlsDeadline::After(timeout_ms);
  size_t got = 0;
  if (SSL_read_ex(state.ssl, buffer, static_cast<size_t>(size), &got) != 1) {
    ERR_clear_error();
    return 0;
  }
  return static_cast<int64_t>(got);
}

}  // namespace quorix::platform
