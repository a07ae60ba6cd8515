#include "support/test_certificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>

namespace guild::testing {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
}

bool AddExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// Distinct serials, so that two certificates of one run are never taken for one another.
long NextSerial() {
  static std::atomic<long> next{1};
  return static_cast<long>(::getpid()) * 1000 + next++;
}

}  // namespace

TlsIdentity MakeSelfSignedIdentity(std::string_view commonName) {
  KeyPtr key(EVP_EC_gen("P-256"));
  CertificatePtr certificate(X509_new());
  if (!key || !certificate) return {};
  X509* cert = certificate.get();
  const std::string name(commonName);
  X509_NAME* subject = X509_get_subject_name(cert);
  const bool built = X509_set_version(cert, 2) == 1 &&
                     ASN1_INTEGER_set(X509_get_serialNumber(cert), NextSerial()) == 1 &&
                     X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr &&
                     X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600) != nullptr &&
                     X509_set_pubkey(cert, key.get()) == 1 &&
                     X509_NAME_add_entry_by_txt(
                         subject, "CN", MBSTRING_UTF8,
                         reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0) == 1 &&
                     X509_set_issuer_name(cert, subject) == 1 &&
                     AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE") &&
                     AddExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
                     X509_sign(cert, key.get(), EVP_sha256()) > 0;
  if (!built) return {};

  BioPtr certificateText(BIO_new(BIO_s_mem()));
  BioPtr keyText(BIO_new(BIO_s_mem()));
  if (!certificateText || !keyText || PEM_write_bio_X509(certificateText.get(), cert) != 1 ||
      PEM_write_bio_PrivateKey(keyText.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
          1) {
    return {};
  }
  return {BioText(certificateText.get()), BioText(keyText.get())};
}

TempFile::TempFile(std::string_view contents) {
  const char* directory = std::getenv("TMPDIR");
  std::string pattern = std::string(directory != nullptr && *directory ? directory : "/tmp") +
                        "/guild-onebot-test-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return;
  bool written = true;
  while (written && !contents.empty()) {
    const ssize_t n = ::write(fd, contents.data(), contents.size());
    written = n > 0;
    if (written) contents.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (written) {
    path_ = pattern;
  } else {
    ::unlink(pattern.c_str());
  }
}

TempFile::~TempFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace guild::testing
