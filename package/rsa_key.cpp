#include "package/rsa_key.h"

#include <openssl/core_names.h>
#include <openssl/err.h>

CZEvpPkey BuildRsaPublicKey(const unsigned char* modulus, size_t modulusSize,
                            const unsigned char* exponent, size_t exponentSize) {
  CZBignum n(BN_bin2bn(modulus, static_cast<int>(modulusSize), nullptr));
  CZBignum e(BN_bin2bn(exponent, static_cast<int>(exponentSize), nullptr));
  CZParamBld builder(OSSL_PARAM_BLD_new());
  CZEvpPkey key;
  if (n && e && builder && OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) &&
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get())) {
    CZParams params(OSSL_PARAM_BLD_to_param(builder.get()));
    CZEvpPkeyCtx context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* made = nullptr;
    if (params && context && EVP_PKEY_fromdata_init(context.get()) > 0 &&
        EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, params.get()) > 0) {
      key.reset(made);
    }
  }
  ERR_clear_error();
  return key;
}
