#pragma once

#include <map>
#include <string>

namespace kv6::fleet::api {

// An HTTP request as the API's rules see it: the HTTP layer has parsed it.
struct ApiRequest {
    std::string method;  // "GET", "POST", "DELETE", ...
    std::string path;    // "/api/v1/jobs/12", decoded
    std::map<std::string, std::string> query;
    std::string authorization;  // the Authorization header, as sent
    std::string contentType;    // the Content-Type header, as sent
    std::string body;
    std::string peer;  // the client's address, for the log
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

}  // namespace kv6::fleet::api
