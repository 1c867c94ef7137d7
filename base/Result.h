// The core's one way of reporting a failure: a value that holds either the result or the
// reason it could not be had. Reasons carry their context in words a person can act on; the
// window renders them into its own texts.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace qor {

// A reason for a failure, with its context ("cannot open /dev/ttyUSB0: permission denied").
struct TError {
    std::string Reason;

    // The same failure seen from one level up: "writing the image: " + the reason.
    TError Within(const std::string& context) const { return {context + ": " + Reason}; }
};

template <typename E> struct TFailure {
    E Error;
};
template <typename E> TFailure(E) -> TFailure<E>;

// Marks a value as the failure of a TResult: `return Fail(TError{"..."});`.
template <typename E> TFailure<std::decay_t<E>> Fail(E&& error) {
    return {std::forward<E>(error)};
}

template <typename T, typename E = TError> class [[nodiscard]] TResult {
public:
    TResult(T value) : Data(std::in_place_index<0>, std::move(value)) {} // NOLINT
    TResult(TFailure<E> failure)                                           // NOLINT
        : Data(std::in_place_index<1>, std::move(failure.Error)) {}

    bool Ok() const { return Data.index() == 0; }
    explicit operator bool() const { return Ok(); }

    T& Value() & { return std::get<0>(Data); }
    const T& Value() const& { return std::get<0>(Data); }
    T&& Value() && { return std::get<0>(std::move(Data)); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }

    const E& Error() const { return std::get<1>(Data); }

private:
    std::variant<T, E> Data;
};

// A result with nothing to hand back but success.
template <typename E> class [[nodiscard]] TResult<void, E> {
public:
    TResult() = default;
    TResult(TFailure<E> failure) : Failed(true), Reason(std::move(failure.Error)) {} // NOLINT

    bool Ok() const { return !Failed; }
    explicit operator bool() const { return Ok(); }
    const E& Error() const { return Reason; }

private:
    bool Failed = false;
    E Reason{};
};

} // namespace qor
