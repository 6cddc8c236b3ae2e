// Stands in for Wine's core library in the loader's tests: its entry point records its call.
#include <atomic>

extern "C" {
__attribute__((visibility("default"))) std::atomic<int> fake_wine_main_calls{0};
__attribute__((visibility("default"))) void __wine_main(int argc, char** argv, char** envp) {
    (void)argv;
    (void)envp;
    if (argc > 0) ++fake_wine_main_calls;
}
}
