# The scanner's firmware: an ATmega328P, with Debian's gcc-avr and avr-libc.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR avr)
set(CMAKE_C_COMPILER avr-gcc)
set(CMAKE_CXX_COMPILER avr-g++)
set(CMAKE_ASM_COMPILER avr-gcc)
# Link-time optimisation: archives need the plugin's tools.
set(CMAKE_AR avr-gcc-ar CACHE FILEPATH "")
set(CMAKE_RANLIB avr-gcc-ranlib CACHE FILEPATH "")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
