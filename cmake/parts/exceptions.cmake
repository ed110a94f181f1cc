# Exception tracing sees every C++ throw at its throw site. Windows: the
# static runtime's __cxa_throw is wrapped at link time for every executable
# that links the core (the throws inside libstdc++ included); the wrapper is
# pulled in up front, as later archives (libstdc++ itself) refer to it.
# Natively the core defines __cxa_throw and the executable exports it over
# the shared libstdc++'s, so nothing is needed here.
if(WIN32)
  target_link_options(tallowmend_core INTERFACE
    -Wl,--wrap=__cxa_throw
    -Wl,--undefined=___wrap___cxa_throw)
endif()
