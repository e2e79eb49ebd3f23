# Settings every target of ours shares: warnings on, C++20, our folders as include roots.
function(fotoshuttle_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
