// Leak reports the sanitizer build leaves out: memory that GTK, GLib, fontconfig, WebKit and the
// graphics libraries keep for the life of the process on purpose (type registrations, caches,
// per-display state). None of these names this project's code.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgtk-3.so\n"           // widget classes, style caches, the display's settings
           "leak:libgdk-3.so\n"           // the X connection's per-display state
           "leak:libglib-2.0.so\n"        // type system and quarks
           "leak:libgobject-2.0.so\n"     // type registrations
           "leak:libgio-2.0.so\n"         // modules and the settings backends
           "leak:libfontconfig.so\n"      // the font configuration and its cache
           "leak:libpango\n"              // font maps
           "leak:libcairo.so\n"           // the glyph and surface caches
           "leak:libharfbuzz.so\n"        // shaping plans cached per font
           "leak:libwebkit2gtk-4.1.so\n"  // the web context kept until exit
           "leak:libjavascriptcoregtk-4.1.so\n"
           "leak:libatk\n"     // accessibility registry
           "leak:libX11.so\n"  // locale and input method state
           "leak:libdbus\n"
           "leak:swrast_dri.so\n"       // Mesa's software renderer, loaded for the virtual display
           "leak:libGLX_mesa.so\n"      // its GLX front-end
           "leak:libEGL_mesa.so\n"
           "leak:libglapi.so\n"
           "leak:libLLVM\n"             // Mesa's shader compiler
           "leak:libepoxy.so\n";        // GL function tables kept by GTK
}

// Full stacks for allocations: the toolkit's libraries are built without frame pointers, and the
// leak suppressions above match only on frames the fast unwinder would miss.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
