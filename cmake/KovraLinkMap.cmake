# The linker's map of each shipped binary, in build/mingw/linkmaps/FILE.map: it names every
# library and start-up object the binary took code from, which `./kovra package` turns into the
# release's licence notices (deploy/notices.sh).
#   kovra_link_map(TARGET)
function(kovra_link_map target)
    set(folder ${CMAKE_BINARY_DIR}/linkmaps)
    file(MAKE_DIRECTORY ${folder})
    target_link_options(${target} PRIVATE "-Wl,-Map=${folder}/$<TARGET_FILE_NAME:${target}>.map")
endfunction()
