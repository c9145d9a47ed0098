#include "kessa/schema_fetch.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#if KESSA2JSON_CURL
#include <curl/curl.h>
#endif

namespace kessa {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

/// The cache's name for a URL: a hash of it, in hexadecimal (FNV-1a, 64 bits).
std::string cacheName(const std::string& url) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : url) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// A cached copy: the text, and the validators its response came with.
struct Cached {
    std::string text, etag, modified, url;
};

std::optional<Cached> readCache(const std::string& directory, const std::string& url) {
    if (directory.empty()) return std::nullopt;
    const std::filesystem::path base = std::filesystem::path(directory) / cacheName(url);
    std::error_code error;
    if (!std::filesystem::is_regular_file(base.string() + ".json", error)) return std::nullopt;
    Cached cached;
    std::istringstream meta(slurp(base.string() + ".meta"));
    std::getline(meta, cached.url);
    std::getline(meta, cached.etag);
    std::getline(meta, cached.modified);
    if (cached.url != url) return std::nullopt;  // another URL of the same hash
    cached.text = slurp(base.string() + ".json");
    return cached;
}

[[maybe_unused]] void writeCache(const std::string& directory, const Cached& cached) {
    if (directory.empty()) return;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    const std::filesystem::path base = std::filesystem::path(directory) / cacheName(cached.url);
    // Written aside, then renamed: a reader never meets half a file.
    const std::string text = base.string() + ".json", meta = base.string() + ".meta";
    {
        std::ofstream out(text + ".part", std::ios::binary);
        out << cached.text;
        if (!out) return;
    }
    {
        std::ofstream out(meta + ".part", std::ios::binary);
        out << cached.url << '\n' << cached.etag << '\n' << cached.modified << '\n';
        if (!out) return;
    }
    std::filesystem::rename(text + ".part", text, error);
    std::filesystem::rename(meta + ".part", meta, error);
}

#if KESSA2JSON_CURL

struct Response {
    std::string body, etag, modified;
    bool tooLarge = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    if (response->body.size() + size * count > kMaxSchemaBytes) {
        response->tooLarge = true;
        return 0;  // ends the transfer
    }
    response->body.append(data, size * count);
    return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (name == "etag") response->etag = value;
        if (name == "last-modified") response->modified = value;
    }
    return size * count;
}

std::string fetch(const std::string& directory, const std::string& url,
                  std::vector<std::string>& notes) {
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::optional<Cached> cached = readCache(directory, url);
    CURL* curl = initialized == CURLE_OK ? curl_easy_init() : nullptr;
    if (curl == nullptr) throw SchemaError(url, std::nullopt, "cannot fetch the schema: libcurl");
    Response response;
    char error[CURL_ERROR_SIZE] = "";
    curl_slist* headers = nullptr;
    if (cached && !cached->etag.empty()) {
        headers = curl_slist_append(headers, ("If-None-Match: " + cached->etag).c_str());
    }
    if (cached && !cached->modified.empty()) {
        headers = curl_slist_append(headers, ("If-Modified-Since: " + cached->modified).c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kFetchSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxSchemaBytes));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "kessa2json");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response);
    if (headers != nullptr) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (response.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        throw SchemaError(url, std::nullopt,
                          "cannot fetch the schema: it is larger than " +
                              std::to_string(kMaxSchemaBytes >> 20) + " MiB");
    }
    if (result == CURLE_OK && status == 304 && cached) return cached->text;
    if (result == CURLE_OK && status >= 200 && status < 300) {
        writeCache(directory, {response.body, response.etag, response.modified, url});
        return std::move(response.body);
    }
    const std::string reason =
        result != CURLE_OK ? std::string(*error != '\0' ? error : curl_easy_strerror(result))
                           : "the server answered " + std::to_string(status);
    // A server's answer of failure is believed; a network that is not there is not.
    if (cached && result != CURLE_OK) {
        notes.push_back("the schema " + url + " could not be fetched (" + reason +
                        "), so its cached copy is used");
        return cached->text;
    }
    throw SchemaError(url, std::nullopt, "cannot fetch the schema: " + reason);
}

#else

std::string fetch(const std::string& directory, const std::string& url,
                  std::vector<std::string>& notes) {
    if (const std::optional<Cached> cached = readCache(directory, url)) {
        notes.push_back("the schema " + url +
                        " is taken from the cache: this build of kessa2json fetches nothing");
        return cached->text;
    }
    throw SchemaError(url, std::nullopt,
                      "cannot fetch the schema: this build of kessa2json fetches nothing; name "
                      "its file with --resolve");
}

#endif

}  // namespace

std::string schemaCacheDirectory() {
    if (std::string dir = environment("KESSA2JSON_CACHE_DIR"); !dir.empty()) return dir;
#ifdef _WIN32
    std::string base = environment("LOCALAPPDATA");
#else
    std::string base = environment("XDG_CACHE_HOME");
    if (base.empty() && !environment("HOME").empty()) base = environment("HOME") + "/.cache";
#endif
    if (base.empty()) return {};
    return (std::filesystem::path(base) / "kessa2json" / "schemas").string();
}

SchemaFetch httpSchemaFetch(std::string directory) {
    return [directory = std::move(directory)](const std::string& url,
                                              std::vector<std::string>& notes) {
        return fetch(directory, url, notes);
    };
}

}  // namespace kessa
