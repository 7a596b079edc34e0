# Media layer of the host program: round trips through every output kind, conversions, errors.
bw_layer_tests(media SLOW "*" bw_media)  # real encoders and decoders at work
