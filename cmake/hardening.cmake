# The hardening Debian builds its packages with, for the Linux programs:
# fortified string and memory functions, stack protection, position-
# independent executables, and relocations read-only after start-up
# (full RELRO with BIND_NOW). Not with the sanitizers, which bring their own
# checks, and fortifying needs optimising, so not in Debug builds either.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "TVP_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)
