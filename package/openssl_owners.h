// Owners for the libcrypto objects the package code holds.
#pragma once
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

template <auto FreeFunction>
struct CZOpenSslFree {
  template <typename T>
  void operator()(T* object) const {
    FreeFunction(object);
  }
};

using CZEvpPkey = std::unique_ptr<EVP_PKEY, CZOpenSslFree<EVP_PKEY_free>>;
using CZEvpPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, CZOpenSslFree<EVP_PKEY_CTX_free>>;
using CZEvpMdCtx = std::unique_ptr<EVP_MD_CTX, CZOpenSslFree<EVP_MD_CTX_free>>;
using CZParamBld = std::unique_ptr<OSSL_PARAM_BLD, CZOpenSslFree<OSSL_PARAM_BLD_free>>;
using CZParams = std::unique_ptr<OSSL_PARAM, CZOpenSslFree<OSSL_PARAM_free>>;
using CZBignum = std::unique_ptr<BIGNUM, CZOpenSslFree<BN_free>>;
