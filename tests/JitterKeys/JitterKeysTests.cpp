// Tests of the JitterKeys module through the loader.
