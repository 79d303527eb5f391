// One bound MAPI function: the pointer found in the module and the generation it was found at.
#pragma once

#include <dlfcn.h>

#include <atomic>
#include <type_traits>

#include "ex2qln/mapi/MapiBinding.h"

namespace ex2qln::mapi {

template <typename Function>
class BoundFunction {
public:
    explicit constexpr BoundFunction(const char* name) : name_(name) {}

    // The function in the current module, or nullptr when there is no module or no such symbol.
    // Two threads may look the name up at once; both store the same answer.
    Function Resolve()
    {
        void* module = MapiModule();
        if (module == nullptr)
            return nullptr;
        std::uint32_t generation = MapiModuleGeneration();
        if (generation_.load(std::memory_order_acquire) == generation)
            return pointer_.load(std::memory_order_relaxed);
        auto function = reinterpret_cast<Function>(dlsym(module, name_));
        pointer_.store(function, std::memory_order_relaxed);
        generation_.store(generation, std::memory_order_release);
        return function;
    }

private:
    const char* name_;
    std::atomic<Function> pointer_{nullptr};
    std::atomic<std::uint32_t> generation_{0};  // no module is ever set at generation 0
};

// What a status-returning stub gives when it cannot call the library.
inline constexpr HRESULT kBindingFailure = static_cast<HRESULT>(0x80004005u);

// The body of the stub `Stub`: calls the function named `name` in the current module with the
// stub's arguments, or gives `failure` when there is none. Each stub keeps its own binding.
template <auto Stub, typename... Arguments>
std::invoke_result_t<decltype(Stub), Arguments...> Forward(const char* name,
                                                           std::invoke_result_t<decltype(Stub), Arguments...> failure,
                                                           Arguments... arguments)
{
    static BoundFunction<decltype(Stub)> bound(name);
    auto function = bound.Resolve();
    return function != nullptr ? function(arguments...) : failure;
}

// The same for a stub without a result: nothing happens when there is no function to call.
template <auto Stub, typename... Arguments>
void ForwardIfBound(const char* name, Arguments... arguments)
{
    static BoundFunction<decltype(Stub)> bound(name);
    if (auto function = bound.Resolve())
        function(arguments...);
}

} // namespace ex2qln::mapi
