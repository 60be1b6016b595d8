# The WebAssembly build (scripts/web-build.sh, configured through emcmake):
# the headless runner for Node.js and the game in a web page, from the same
# sources as the native programs. Emscripten brings its own SDL 1.2; the
# link driver is the one without a network (net/nolink.cpp) and the runner
# writes traces but no PNG files (no libpng for WebAssembly here).
set(MD_NOLINK_DRIVER ${CMAKE_SOURCE_DIR}/src/net/nolink.cpp)
set(MD_WEB_DIR ${CMAKE_SOURCE_DIR}/web)
set(MD_DATA_DIR ${CMAKE_SOURCE_DIR}/gamedata)
md_sources(MD_NET_ALL net)
list(FILTER MD_NET_ALL EXCLUDE REGEX "/net/(link|netclient|follower|serverhost|netserver)\\.cpp$")

add_library(mdworld STATIC ${MD_WORLD_SOURCES})
target_include_directories(mdworld PUBLIC ${CMAKE_SOURCE_DIR}/src)
add_library(mdwire STATIC ${MD_WIRE_SOURCES})
target_link_libraries(mdwire PUBLIC mdworld)
add_library(mdnet STATIC ${MD_NET_ALL} ${MD_NOLINK_DRIVER})
target_link_libraries(mdnet PUBLIC mdwire)
add_library(mdcore STATIC ${MD_CORE_SOURCES})
target_link_libraries(mdcore PUBLIC mdnet)

# Memory grows as the runner's script and trace buffers do; the exit status
# is the program's own.
set(MD_WEB_LINK -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)

# The headless runner on Node.js, reading and writing the real file system:
# node build-web/marrowdigger-headless.js --data gamedata --script ... --trace ...
add_library(mdheadless STATIC ${CMAKE_SOURCE_DIR}/src/headless/script.cpp
                              ${CMAKE_SOURCE_DIR}/src/headless/runner.cpp
                              ${CMAKE_SOURCE_DIR}/src/headless/pngnone.cpp)
target_link_libraries(mdheadless PUBLIC mdcore)
add_executable(marrowdigger-headless ${MD_HEADLESS_MAIN} ${MD_SCRIPTED_DRIVER})
target_link_libraries(marrowdigger-headless PRIVATE mdheadless mdcore)
target_link_options(marrowdigger-headless PRIVATE ${MD_WEB_LINK} -sENVIRONMENT=node -sNODERAWFS=1
                    -sWASM_ASYNC_COMPILATION=0
                    --pre-js ${MD_WEB_DIR}/node-display.js)
set_target_properties(marrowdigger-headless PROPERTIES SUFFIX .js
                      LINK_DEPENDS ${MD_WEB_DIR}/node-display.js)

# The game in a page: index.html beside marrowdigger.js, .wasm and .data
# (the data tree). Its loop yields to the browser after each frame
# (ASYNCIFY, platform/webframe.cpp).
add_executable(marrowdigger ${MD_GAME_MAIN} ${MD_SDL_DRIVER} ${MD_WEB_FRAME})
target_link_libraries(marrowdigger PRIVATE mdcore)
target_link_options(marrowdigger PRIVATE ${MD_WEB_LINK} -sENVIRONMENT=web -sASYNCIFY=1
                    -sFORCE_FILESYSTEM=1 -sEXPORTED_RUNTIME_METHODS=[FS,callMain]
                    --preload-file ${MD_DATA_DIR}@/gamedata)
set_target_properties(marrowdigger PROPERTIES SUFFIX .js)
# The page's scripted game (?script=URL): the headless runner drawing on the
# canvas, its trace going to the console.
add_executable(marrowdigger-script ${MD_HEADLESS_MAIN} ${MD_SCRIPTED_DRIVER})
target_link_libraries(marrowdigger-script PRIVATE mdheadless mdcore)
target_link_options(marrowdigger-script PRIVATE ${MD_WEB_LINK} -sENVIRONMENT=web
                    -sFORCE_FILESYSTEM=1 -sEXPORTED_RUNTIME_METHODS=[FS,callMain]
                    --preload-file ${MD_DATA_DIR}@/gamedata)
set_target_properties(marrowdigger-script PROPERTIES SUFFIX .js)
configure_file(${MD_WEB_DIR}/index.html ${CMAKE_BINARY_DIR}/index.html COPYONLY)
configure_file(${MD_WEB_DIR}/page.js ${CMAKE_BINARY_DIR}/page.js COPYONLY)

enable_testing()
