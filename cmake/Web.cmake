# The browser build (tools/build-web): WebAssembly through Debian's emscripten, against the SDL2 and
# FreeType that tools/build-web builds with it. One source tree gives two flavours, one build tree
# each, since objects built with and without threads cannot share one WebAssembly module:
#   KELVRA_WEB_THREADS=ON   the kernel's workers are threads (Web Workers sharing the memory), which
#                           only a cross-origin isolated page may use; the program is kelvra.js
#   KELVRA_WEB_THREADS=OFF  the main thread works alone, on any page; the program is kelvra-single.js
# Each also builds turn_bits for node (turn_bits.js, turn_bits-single.js).
option(KELVRA_WEB_THREADS "Build the browser flavour whose kernel runs on threads" ON)

# The kernel catches std::system_error where no thread can be started, as in the single flavour,
# where every start fails: emscripten leaves C++ exceptions out unless asked.
target_compile_options(kelvra_core PUBLIC -fexceptions)
target_link_options(kelvra_core PUBLIC -fexceptions)

# The memory is fixed: a shared memory that grows makes every access from JavaScript (the GL
# emulation's) check for a new buffer. The largest cloud with the kernel's arrays takes some 12 MiB.
# The stack is as roomy as a desktop thread's first megabyte.
target_link_options(kelvra_core PUBLIC -sINITIAL_MEMORY=64MB -sSTACK_SIZE=1MB)

if(KELVRA_WEB_THREADS)
  set(KELVRA_WEB_SUFFIX "")
  target_compile_options(kelvra_core PUBLIC -pthread)
  # A Worker starts only once the main thread returns to the browser, which the program never does
  # while it waits for its threads: the workers are started with the page, one per core the browser
  # reports but the main thread's, and a thread asked for beyond them fails at once (EAGAIN), which
  # the kernel takes as a refused thread.
  target_link_options(kelvra_core PUBLIC -pthread -sPTHREAD_POOL_SIZE_STRICT=2)
  set(KELVRA_WEB_POOL "-sPTHREAD_POOL_SIZE=Math.min(navigator.hardwareConcurrency,64)-1")
  set(KELVRA_NODE_POOL "-sPTHREAD_POOL_SIZE=Math.min(require('os').cpus().length,64)-1")
else()
  set(KELVRA_WEB_SUFFIX "-single")
  set(KELVRA_WEB_POOL)
  set(KELVRA_NODE_POOL)
endif()

# The page's program. Its loops wait and draw inside the engine's step, as on the desktop: asyncify
# lets them hand control to the browser where SDL waits for events or presents a frame, and come back.
# The fixed-function GL of the program runs on WebGL through emscripten's GL emulation.
set(KELVRA_PAGE_LINK_OPTIONS -sENVIRONMENT=web,worker -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
    -sLEGACY_GL_EMULATION=1 -sEXIT_RUNTIME=1 ${KELVRA_WEB_POOL})
set_target_properties(kelvra PROPERTIES OUTPUT_NAME kelvra${KELVRA_WEB_SUFFIX})
target_link_options(kelvra PRIVATE ${KELVRA_PAGE_LINK_OPTIONS})

# The bit driver, for node: its digest must be that of every other build.
add_executable(turn_bits ${CMAKE_SOURCE_DIR}/tests/drivers/turn_bits.cpp)
set_target_properties(turn_bits PROPERTIES OUTPUT_NAME turn_bits${KELVRA_WEB_SUFFIX})
target_link_libraries(turn_bits PRIVATE kelvra_core)
target_link_options(turn_bits PRIVATE -sENVIRONMENT=node -sEXIT_RUNTIME=1 ${KELVRA_NODE_POOL})

# The benchmarks that need no benchmark library, built only when asked for (make bench-web): the
# engine loop as a page of its own, linked as the program is (bench_engine.js), and the kernel's time
# a pair in node (bench_pairs.js).
add_executable(bench_engine EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/bench_engine.cpp)
set_target_properties(bench_engine PROPERTIES OUTPUT_NAME bench_engine${KELVRA_WEB_SUFFIX})
target_link_libraries(bench_engine PRIVATE kelvra_core)
target_link_options(bench_engine PRIVATE ${KELVRA_PAGE_LINK_OPTIONS})
add_executable(bench_pairs EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/bench_pairs.cpp)
set_target_properties(bench_pairs PROPERTIES OUTPUT_NAME bench_pairs${KELVRA_WEB_SUFFIX})
target_link_libraries(bench_pairs PRIVATE kelvra_core)
target_link_options(bench_pairs PRIVATE -sENVIRONMENT=node -sEXIT_RUNTIME=1 ${KELVRA_NODE_POOL})
