// Owners for the libcrypto objects the package code holds.
#pragma once
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

struct CZEvpPkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CZEvpPkeyCtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct CZEvpMdCtxFree {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct CZParamBldFree {
  void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
};
struct CZParamFree {
  void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
struct CZBignumFree {
  void operator()(BIGNUM* p) const { BN_free(p); }
};

using CZEvpPkey = std::unique_ptr<EVP_PKEY, CZEvpPkeyFree>;
using CZEvpPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, CZEvpPkeyCtxFree>;
using CZEvpMdCtx = std::unique_ptr<EVP_MD_CTX, CZEvpMdCtxFree>;
using CZParamBld = std::unique_ptr<OSSL_PARAM_BLD, CZParamBldFree>;
using CZParams = std::unique_ptr<OSSL_PARAM, CZParamFree>;
using CZBignum = std::unique_ptr<BIGNUM, CZBignumFree>;
