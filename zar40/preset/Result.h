#pragma once
// The one result of the pure libraries' operations that can fail for a
// reason the user should read: success, or the text to show and, for logs
// and the tool, what exactly went wrong. A value travels in the caller's
// target, which such an operation changes only on success. Lookups that
// merely find nothing return std::optional, and the designs refuse an
// unknown type code with false: their callers have nothing to tell a user.
#include <string>
#include <utility>
#include <vector>

namespace zar40::preset {

struct Result {
    bool ok = false;
    std::string message;              // on failure: the text for the user
    std::string detail;               // on failure: what exactly went wrong
    std::vector<std::string> notices; // on success: information the user should see (at most once each)

    explicit operator bool() const { return ok; }
    // What a window shows of a failure: the message, then the detail on a
    // line of its own.
    std::string text() const { return detail.empty() ? message : message + "\n" + detail; }

    static Result success() { return Result{true, {}, {}, {}}; }
    static Result failure(std::string message, std::string detail)
    {
        return Result{false, std::move(message), std::move(detail), {}};
    }
};

} // namespace zar40::preset
