// TLS client streams with Schannel (SSPI). The security context only turns
// bytes into records and back; every byte goes through the connection's
// SendAll and Receive, bounded by the deadline of the call in progress, so a
// time-out or an Interrupt ends a handshake or a transfer exactly as it ends a
// plain request.
//
// The server's certificate is verified here, not by Schannel (some Schannel
// implementations verify nothing): the chain is built with the system's roots
// and, when an extra CA file is given, once more with only its certificates
// as roots; the chain's own error bits are checked (revocation that could not
// be checked is no error), then the SSL policy with the host name.
// Sessions are resumed by Schannel itself: it keeps them per credentials
// handle and target name, and the client keeps one credentials handle.
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/tls.h"
#include "platform/tls_deadline.h"
#include "platform/win32/windows_api.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

namespace quorix::platform {

struct TlsClient::State {
  CredHandle credentials{};
  bool has_credentials = false;
  HCERTSTORE extra_roots = nullptr;         // the certificates of the extra CA file
  HCERTCHAINENGINE extra_engine = nullptr;  // chains that end only in those

  ~State() {
    if (extra_engine != nullptr) ::CertFreeCertificateChainEngine(extra_engine);
    if (extra_roots != nullptr) ::CertCloseStore(extra_roots, 0);
    if (has_credentials) ::FreeCredentialsHandle(&credentials);
  }
};

struct TlsStream::State {
  TlsClient::State* client = nullptr;
  Connection* connection = nullptr;
  std::string target;  // the host name: sent (SNI) and the key of resumed sessions
  CtxtHandle context{};
  bool has_context = false;
  SecPkgContext_StreamSizes sizes{};
  std::string received;  // records (or their start) not yet decrypted
  std::string plain;     // decrypted bytes not yet returned
  size_t plain_offset = 0;
  bool ended = false;  // the server sent its closing alert

  ~State() {
    if (has_context) ::DeleteSecurityContext(&context);
  }
};

namespace {

using StreamState = TlsStream::State;

constexpr DWORD kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS;
// Revocation that could not be checked does not refuse a certificate.
constexpr DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
constexpr size_t kReceiveChunk = 16 * 1024 + 512;
constexpr size_t kMostBuffered = 256 * 1024;  // no record is this long

std::string HexCode(long code) {
  char text[16];
  ::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

std::string HandshakeErrorText(SECURITY_STATUS status) {
  switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
      return "not TLS or refused by the server";
    case SEC_E_ALGORITHM_MISMATCH:
      return "no common protocol version or cipher";
    case SEC_E_UNSUPPORTED_FUNCTION:
      return "unsupported protocol";
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
      return "bad record";
    default:
      return "TLS error " + HexCode(status);
  }
}

// OpenSSL's texts for the same refusals, so that the logs read alike.
std::string ChainErrorText(DWORD status, const CERT_CHAIN_CONTEXT* chain) {
  if ((status & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) return "unable to get local issuer certificate";
  if ((status & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0) {
    const bool alone = chain->cChain > 0 && chain->rgpChain[0]->cElement <= 1;
    return alone ? "self-signed certificate" : "self-signed certificate in certificate chain";
  }
  if ((status & CERT_TRUST_IS_NOT_TIME_VALID) != 0) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
      CERT_INFO* info = simple->rgpElement[i]->pCertContext->pCertInfo;
      if (::CertVerifyTimeValidity(nullptr, info) < 0) return "certificate is not yet valid";
    }
    return "certificate has expired";
  }
  if ((status & CERT_TRUST_IS_REVOKED) != 0) return "certificate revoked";
  return "certificate verify failed (" + HexCode(static_cast<long>(status)) + ")";
}

std::string PolicyErrorText(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "hostname mismatch";
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "certificate has expired";
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
      return "self-signed certificate in certificate chain";
    case static_cast<DWORD>(CERT_E_CHAINING):
      return "unable to get local issuer certificate";
    default:
      return "certificate verify failed (" + HexCode(static_cast<long>(error)) + ")";
  }
}

const CERT_CHAIN_CONTEXT* BuildChain(HCERTCHAINENGINE engine, const CERT_CONTEXT* certificate) {
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  const CERT_CHAIN_CONTEXT* chain = nullptr;
  if (!::CertGetCertificateChain(engine, certificate, nullptr, certificate->hCertStore, &parameters,
                                 0, nullptr, &chain)) {
    return nullptr;
  }
  return chain;
}

// Empty when the certificate is good for `host`, else the reason.
std::string VerifyServer(const TlsClient::State& client, const CERT_CONTEXT* certificate,
                         const std::string& host) {
  const CERT_CHAIN_CONTEXT* chain = BuildChain(nullptr, certificate);
  if (chain == nullptr) return "certificate chain not built";
  DWORD status = chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
  if ((status & kUntrusted) != 0 && client.extra_engine != nullptr) {
    const CERT_CHAIN_CONTEXT* extra = BuildChain(client.extra_engine, certificate);
    if (extra != nullptr) {
      const DWORD extra_status = extra->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
      if ((extra_status & kUntrusted) == 0) {
        ::CertFreeCertificateChain(chain);
        chain = extra;
        status = extra_status;
      } else {
        ::CertFreeCertificateChain(extra);
      }
    }
  }
  std::string reason;
  if (status != 0) {
    reason = ChainErrorText(status, chain);
  } else {
    std::wstring wide_host(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = wide_host.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
      reason = "certificate policy not checked";
    } else if (result.dwError != 0) {
      reason = PolicyErrorText(result.dwError);
    }
  }
  ::CertFreeCertificateChain(chain);
  return reason;
}

// Adds every PEM certificate of `pem` to `store`; the count added.
int AddPemCertificates(HCERTSTORE store, const std::string& pem) {
  static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  int added = 0;
  size_t from = 0;
  for (;;) {
    const size_t begin = pem.find(kBegin, from);
    if (begin == std::string::npos) break;
    const size_t end = pem.find(kEnd, begin);
    if (end == std::string::npos) break;
    from = end + kEnd.size();
    const std::string block = pem.substr(begin, from - begin);
    DWORD size = 0;
    if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      continue;
    }
    std::vector<BYTE> der(size);
    if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
      continue;
    }
    if (::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr)) {
      ++added;
    }
  }
  return added;
}

bool AcquireCredentials(DWORD protocols, CredHandle* credentials) {
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.grbitEnabledProtocols = protocols;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry{};
  char package[] = UNISP_NAME_A;
  return ::AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &settings,
                                     nullptr, nullptr, credentials, &expiry) == SEC_E_OK;
}

// Sends a token that the context produced and frees it.
bool SendToken(StreamState& state, SecBuffer& token, const TlsDeadline& deadline) {
  bool sent = true;
  if (token.pvBuffer != nullptr && token.cbBuffer > 0) {
    sent = state.connection->SendAll(
        std::string_view(static_cast<const char*>(token.pvBuffer), token.cbBuffer),
        deadline.RemainingMs());
  }
  if (token.pvBuffer != nullptr) ::FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  return sent;
}

// Appends what the connection delivers to state.received. False when it
// closed, timed out or was interrupted.
bool ReceiveMore(StreamState& state, const TlsDeadline& deadline) {
  if (state.received.size() >= kMostBuffered) return false;
  const size_t old_size = state.received.size();
  state.received.resize(old_size + kReceiveChunk);
  const int64_t got = state.connection->Receive(state.received.data() + old_size, kReceiveChunk,
                                                deadline.RemainingMs());
  state.received.resize(old_size + static_cast<size_t>(got > 0 ? got : 0));
  return got > 0;
}

// Keeps only the unprocessed bytes at the end of state.received.
void KeepExtra(StreamState& state, const SecBuffer& extra_buffer) {
  if (extra_buffer.BufferType == SECBUFFER_EXTRA && extra_buffer.cbBuffer > 0) {
    state.received.erase(0, state.received.size() - extra_buffer.cbBuffer);
  } else {
    state.received.clear();
  }
}

struct HandshakeResult {
  TlsFailure failure = TlsFailure::kNone;
  std::string reason;
};

// Runs the handshake messages until the context is complete; a first call
// (no context yet) sends the client hello. Also used for the handshake
// messages that a server sends later (SEC_I_RENEGOTIATE).
HandshakeResult RunHandshake(StreamState& state, const TlsDeadline& deadline) {
  TlsClient::State& client = *state.client;
  auto lost = [&]() -> HandshakeResult {
    if (state.connection->Interrupted()) return {TlsFailure::kInterrupted, "interrupted"};
    if (deadline.Passed()) return {TlsFailure::kTimeout, "timed out"};
    return {TlsFailure::kProtocol, "connection closed"};
  };
  bool need_input = state.has_context && state.received.empty();
  for (;;) {
    if (need_input && !ReceiveMore(state, deadline)) return lost();
    need_input = false;
    SecBuffer in_buffers[2] = {};
    in_buffers[0].BufferType = SECBUFFER_TOKEN;
    in_buffers[0].pvBuffer = state.received.data();
    in_buffers[0].cbBuffer = static_cast<unsigned long>(state.received.size());
    in_buffers[1].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc in_description{SECBUFFER_VERSION, 2, in_buffers};
    SecBuffer out_buffer{};
    out_buffer.BufferType = SECBUFFER_TOKEN;
    SecBufferDesc out_description{SECBUFFER_VERSION, 1, &out_buffer};
    unsigned long attributes = 0;
    const bool first = !state.has_context;
    const SECURITY_STATUS status = ::InitializeSecurityContextA(
        &client.credentials, first ? nullptr : &state.context, state.target.data(), kContextRequest,
        0, 0, first ? nullptr : &in_description, 0, first ? &state.context : nullptr,
        &out_description, &attributes, nullptr);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) {
      state.has_context = true;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (out_buffer.pvBuffer != nullptr) ::FreeContextBuffer(out_buffer.pvBuffer);
      need_input = true;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {  // a client certificate asked for: none
      if (out_buffer.pvBuffer != nullptr) ::FreeContextBuffer(out_buffer.pvBuffer);
      continue;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
      if (out_buffer.pvBuffer != nullptr) ::FreeContextBuffer(out_buffer.pvBuffer);
      if (state.connection->Interrupted()) return {TlsFailure::kInterrupted, "interrupted"};
      return {TlsFailure::kProtocol, HandshakeErrorText(status)};
    }
    if (!SendToken(state, out_buffer, deadline)) return lost();
    if (!first) KeepExtra(state, in_buffers[1]);
    if (status == SEC_E_OK) return {};
    need_input = state.received.empty();
  }
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
  // TLS 1.3 where the system has it (with these settings it may not), else 1.2 alone.
  state.has_credentials =
      AcquireCredentials(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT, &state.credentials) ||
      AcquireCredentials(SP_PROT_TLS1_2_CLIENT, &state.credentials);
  if (!state.has_credentials) return fail("no TLS credentials (Schannel)");
  if (!extra_ca_file.empty()) {
    std::string pem;
    if (!ReadWholeFile(extra_ca_file, &pem, int64_t{16} * 1024 * 1024)) {
      return fail("cannot read " + extra_ca_file);
    }
    state.extra_roots =
        ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (state.extra_roots == nullptr) return fail("no certificate store");
    if (AddPemCertificates(state.extra_roots, pem) == 0) {
      return fail("no certificate in " + extra_ca_file);
    }
    // The size of the structure as Windows 7 defined it: later systems take
    // it as well, older implementations refuse the longer one.
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, dwExclusiveFlags);
    config.hExclusiveRoot = state.extra_roots;
    if (!::CertCreateCertificateChainEngine(&config, &state.extra_engine)) {
      state.extra_engine = nullptr;
      return fail("no certificate chain engine for " + extra_ca_file);
    }
  }
  return client;
}

TlsStream::~TlsStream() = default;

std::unique_ptr<TlsStream> TlsStream::Handshake(TlsClient& client, Connection& connection,
                                                const std::string& host, int port, int timeout_ms,
                                                TlsFailure* failure, std::string* reason) {
  (void)port;  // Schannel keeps sessions by host name
  auto fail = [&](TlsFailure kind, const std::string& text) -> std::unique_ptr<TlsStream> {
    if (failure != nullptr) *failure = kind;
    if (reason != nullptr) *reason = text;
    return nullptr;
  };
  std::unique_ptr<TlsStream> stream(new TlsStream());
  stream->state_ = std::make_unique<State>();
  State& state = *stream->state_;
  state.client = client.state_.get();
  state.connection = &connection;
  state.target = host;
  const TlsDeadline deadline = TlsDeadline::After(timeout_ms);
  const HandshakeResult result = RunHandshake(state, deadline);
  if (result.failure != TlsFailure::kNone) return fail(result.failure, result.reason);

  const CERT_CONTEXT* certificate = nullptr;
  if (::QueryContextAttributesA(&state.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr) {
    return fail(TlsFailure::kCertificate, "no certificate from the server");
  }
  const std::string refused = VerifyServer(*client.state_, certificate, host);
  ::CertFreeCertificateContext(certificate);
  if (!refused.empty()) return fail(TlsFailure::kCertificate, refused);
  if (::QueryContextAttributesA(&state.context, SECPKG_ATTR_STREAM_SIZES, &state.sizes) !=
      SEC_E_OK) {
    return fail(TlsFailure::kProtocol, "no record sizes");
  }
  if (failure != nullptr) *failure = TlsFailure::kNone;
  return stream;
}

bool TlsStream::SendAll(std::string_view data, int timeout_ms) {
  State& state = *state_;
  const TlsDeadline deadline = TlsDeadline::After(timeout_ms);
  const SecPkgContext_StreamSizes& sizes = state.sizes;
  std::string record;
  while (!data.empty()) {
    const size_t chunk =
        data.size() < sizes.cbMaximumMessage ? data.size() : sizes.cbMaximumMessage;
    record.assign(sizes.cbHeader, '\0');
    record.append(data.substr(0, chunk));
    record.append(sizes.cbTrailer, '\0');
    SecBuffer buffers[4] = {};
    buffers[0] = {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()};
    buffers[1] = {static_cast<unsigned long>(chunk), SECBUFFER_DATA,
                  record.data() + sizes.cbHeader};
    buffers[2] = {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER,
                  record.data() + sizes.cbHeader + chunk};
    buffers[3].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    if (::EncryptMessage(&state.context, 0, &description, 0) != SEC_E_OK) return false;
    const size_t length = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (!state.connection->SendAll(std::string_view(record.data(), length),
                                   deadline.RemainingMs())) {
      return false;
    }
    data.remove_prefix(chunk);
  }
  return true;
}

int64_t TlsStream::Receive(char* buffer, int64_t size, int timeout_ms) {
  State& state = *state_;
  if (size <= 0) return 0;
  const TlsDeadline deadline = TlsDeadline::After(timeout_ms);
  while (state.plain_offset >= state.plain.size()) {
    state.plain.clear();
    state.plain_offset = 0;
    if (state.ended) return 0;
    if (state.received.empty() && !ReceiveMore(state, deadline)) return 0;
    SecBuffer buffers[4] = {};
    buffers[0] = {static_cast<unsigned long>(state.received.size()), SECBUFFER_DATA,
                  state.received.data()};
    for (int i = 1; i < 4; ++i) buffers[i].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = ::DecryptMessage(&state.context, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (!ReceiveMore(state, deadline)) return 0;
      continue;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) {  // the closing alert
      state.ended = true;
      return 0;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return 0;
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& part : buffers) {
      if (part.BufferType == SECBUFFER_DATA && part.cbBuffer > 0) {
        state.plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
      } else if (part.BufferType == SECBUFFER_EXTRA && part.cbBuffer > 0) {
        extra = &part;
      }
    }
    if (extra != nullptr) {
      state.received.erase(0, state.received.size() - extra->cbBuffer);
    } else {
      state.received.clear();
    }
    if (status == SEC_I_RENEGOTIATE) {
      // Handshake messages after the handshake (TLS 1.3 session tickets, a
      // key update): the context takes them through the handshake call.
      if (RunHandshake(state, deadline).failure != TlsFailure::kNone) return 0;
    }
  }
  const size_t left = state.plain.size() - state.plain_offset;
  const size_t count = static_cast<size_t>(size) < left ? static_cast<size_t>(size) : left;
  state.plain.copy(buffer, count, state.plain_offset);
  state.plain_offset += count;
  return static_cast<int64_t>(count);
}

}  // namespace quorix::platform
