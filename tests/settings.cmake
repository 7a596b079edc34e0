# The settings layer and the host layer's configuration lifecycle.
bw_layer_tests(settings bw_settings)
if(TARGET bw_host)
  bw_layer_tests(host bw_host)
endif()
