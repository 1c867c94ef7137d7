// A value, or the reason there is none: how the download layer reports every failure, so the
// cause travels with the outcome up to the window that shows it.
#pragma once

#include <optional>
#include <utility>
#include <variant>

namespace qor {

// Marks a reason as a failure when it is returned where a TResult is expected.
template <typename E> struct TUnexpected { E Error; };
template <typename E> TUnexpected(E) -> TUnexpected<E>;

template <typename T, typename E> class [[nodiscard]] TResult {
public:
    TResult(T value) : State(std::in_place_index<0>, std::move(value)) {}
    TResult(TUnexpected<E> failure) : State(std::in_place_index<1>, std::move(failure.Error)) {}

    bool Ok() const { return State.index() == 0; }
    explicit operator bool() const { return Ok(); }
    T& operator*() { return std::get<0>(State); }
    const T& operator*() const { return std::get<0>(State); }
    T* operator->() { return &std::get<0>(State); }
    const T* operator->() const { return &std::get<0>(State); }
    const E& Error() const { return std::get<1>(State); }

private:
    std::variant<T, E> State;
};

template <typename E> class [[nodiscard]] TResult<void, E> {
public:
    TResult() = default;
    TResult(TUnexpected<E> failure) : Failure(std::move(failure.Error)) {}

    bool Ok() const { return !Failure.has_value(); }
    explicit operator bool() const { return Ok(); }
    const E& Error() const { return *Failure; }

private:
    std::optional<E> Failure;
};

} // namespace qor
