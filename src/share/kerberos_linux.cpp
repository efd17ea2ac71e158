#include "share/kerberos_linux.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

namespace share::kerberos {

bool haveTicket() {
    OM_uint32 minor = 0;
    gss_cred_id_t cred = GSS_C_NO_CREDENTIAL;
    gss_OID_set_desc mechs{1, const_cast<gss_OID>(gss_mech_krb5)};
    OM_uint32 lifetime = 0;
    const OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs,
                                             GSS_C_INITIATE, &cred, nullptr, &lifetime);
    if (cred != GSS_C_NO_CREDENTIAL)
        gss_release_cred(&minor, &cred);
    return major == GSS_S_COMPLETE && lifetime > 0;
}

struct Initiator::Impl {
    gss_name_t target = GSS_C_NO_NAME;
    gss_ctx_id_t context = GSS_C_NO_CONTEXT;
};

Initiator::Initiator(const std::string& host) : impl_(std::make_unique<Impl>()) {
    std::string service = "cifs@" + host;
    gss_buffer_desc name{service.size(), service.data()};
    OM_uint32 minor = 0;
    if (gss_import_name(&minor, &name, GSS_C_NT_HOSTBASED_SERVICE, &impl_->target) !=
        GSS_S_COMPLETE)
        impl_->target = GSS_C_NO_NAME;
}

Initiator::~Initiator() {
    OM_uint32 minor = 0;
    if (impl_->context != GSS_C_NO_CONTEXT)
        gss_delete_sec_context(&minor, &impl_->context, GSS_C_NO_BUFFER);
    if (impl_->target != GSS_C_NO_NAME)
        gss_release_name(&minor, &impl_->target);
}

bool Initiator::step(std::span<const std::uint8_t> answer, std::vector<std::uint8_t>& token) {
    token.clear();
    if (impl_->target == GSS_C_NO_NAME || complete_)
        return false;
    gss_buffer_desc in{answer.size(), const_cast<std::uint8_t*>(answer.data())};
    gss_buffer_desc out{0, nullptr};
    OM_uint32 minor = 0;
    // Mutual: the server proves it holds the service key, so nobody between can pose as it.
    const OM_uint32 major = gss_init_sec_context(
        &minor, GSS_C_NO_CREDENTIAL, &impl_->context, impl_->target,
        const_cast<gss_OID>(gss_mech_krb5),
        GSS_C_MUTUAL_FLAG | GSS_C_INTEG_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG, 0,
        GSS_C_NO_CHANNEL_BINDINGS, answer.empty() ? GSS_C_NO_BUFFER : &in, nullptr, &out, nullptr,
        nullptr);
    if (out.length)
        token.assign(static_cast<std::uint8_t*>(out.value),
                     static_cast<std::uint8_t*>(out.value) + out.length);
    gss_release_buffer(&minor, &out);
    if (GSS_ERROR(major))
        return false;
    complete_ = major == GSS_S_COMPLETE;
    return true;
}

std::vector<std::uint8_t> Initiator::sessionKey() const {
    std::vector<std::uint8_t> key;
    OM_uint32 minor = 0;
    gss_buffer_set_t set = GSS_C_NO_BUFFER_SET;
    if (complete_ &&
        gss_inquire_sec_context_by_oid(&minor, impl_->context, GSS_C_INQ_SSPI_SESSION_KEY, &set) ==
            GSS_S_COMPLETE &&
        set && set->count > 0) {
        const auto* v = static_cast<const std::uint8_t*>(set->elements[0].value);
        key.assign(v, v + set->elements[0].length);
    }
    if (set)
        gss_release_buffer_set(&minor, &set);
    return key;
}

} // namespace share::kerberos
