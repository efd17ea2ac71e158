#include "platform/keyring_linux.h"

#include <libsecret/secret.h>

namespace platform::keyring {

namespace {

// GVFS's attributes of a network password: only those it knows are set.
GHashTable* attributes(const std::string& server, const std::string& user,
                       const std::string& domain, int port) {
    GHashTable* a = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free);
    g_hash_table_insert(a, const_cast<char*>("server"), g_strdup(server.c_str()));
    g_hash_table_insert(a, const_cast<char*>("protocol"), g_strdup("smb"));
    if (!user.empty())
        g_hash_table_insert(a, const_cast<char*>("user"), g_strdup(user.c_str()));
    if (!domain.empty())
        g_hash_table_insert(a, const_cast<char*>("domain"), g_strdup(domain.c_str()));
    if (port != 0)
        g_hash_table_insert(a, const_cast<char*>("port"), g_strdup_printf("%d", port));
    return a;
}

std::string attribute(SecretItem* item, const char* name) {
    GHashTable* a = secret_item_get_attributes(item);
    const auto* value = static_cast<const char*>(g_hash_table_lookup(a, name));
    std::string text = value ? value : "";
    g_hash_table_unref(a);
    return text;
}

} // namespace

std::optional<signin::Answer> find(const std::string& server, const std::string& user,
                                   const std::string& domain, int port) {
    GHashTable* a = attributes(server, user, domain, port);
    GError* error = nullptr;
    GList* items = secret_service_search_sync(
        nullptr, SECRET_SCHEMA_COMPAT_NETWORK, a,
        SecretSearchFlags(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr, &error);
    g_hash_table_unref(a);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    std::optional<signin::Answer> found;
    if (items) {
        auto* item = static_cast<SecretItem*>(items->data);
        if (SecretValue* secret = secret_item_get_secret(item)) {
            found = signin::Answer{
                attribute(item, "user"), attribute(item, "domain"),
                secret_value_get_text(secret) ? secret_value_get_text(secret) : "", true};
            secret_value_unref(secret);
        }
    }
    g_list_free_full(items, g_object_unref);
    return found;
}

bool save(const std::string& server, const std::string& share, int port,
          const signin::Answer& answer) {
    GHashTable* a = attributes(server, answer.user, answer.domain, port);
    const std::string label =
        "smb://" + (answer.user.empty() ? "" : answer.user + "@") + server + "/" + share;
    GError* error = nullptr;
    const bool ok =
        secret_password_storev_sync(SECRET_SCHEMA_COMPAT_NETWORK, a, SECRET_COLLECTION_DEFAULT,
                                    label.c_str(), answer.password.c_str(), nullptr, &error);
    g_hash_table_unref(a);
    if (error)
        g_error_free(error);
    return ok;
}

} // namespace platform::keyring
