# Media layer of the host program: round trips through every output kind, conversions, errors.
bw_layer_tests(media bw_media)
