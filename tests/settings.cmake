# The settings layer and the host layer's configuration lifecycle.
bw_layer_tests(settings bw_settings)
bw_layer_tests(host bw_host)
