#include "share/keyring_linux.h"

#include <cstdlib>

#include <libsecret/secret.h>
#include <unistd.h>

namespace share::keyring {

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

// An item saved for another port is another server's (a tunnel, a second smbd): a search
// without a port would find it too.
bool forPort(SecretItem* item, int port) {
    const std::string saved = attribute(item, "port");
    return port == 0 ? saved.empty() || saved == "445" : saved == std::to_string(port);
}

// Whether a session bus is there to ask: without one, the library would launch a bus of its own
// and leave it running.
bool haveSessionBus() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && ::access((std::string(runtime) + "/bus").c_str(), F_OK) == 0;
}

} // namespace

std::optional<signin::Answer> find(const std::string& server, const std::string& user,
                                   const std::string& domain, int port) {
    if (!haveSessionBus())
        return std::nullopt;
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
    for (GList* it = items; it && !found; it = it->next) {
        auto* item = static_cast<SecretItem*>(it->data);
        if (!forPort(item, port))
            continue;
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
    if (!haveSessionBus())
        return false;
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

} // namespace share::keyring
