#pragma once
// The visitor of every alternative of a variant, each by its own handler:
// std::visit over it does not compile while an alternative has none.

namespace kb {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

}  // namespace kb
