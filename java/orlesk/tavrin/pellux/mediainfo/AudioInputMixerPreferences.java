package orlesk.tavrin.pellux.mediainfo;

/** The settings of an audio input mixer; a setting the driver lacks is flagged unsupported. */
public class AudioInputMixerPreferences {
    private final boolean monoSupported;
    private final boolean mono;
    private final boolean mixLevelSupported;
    private final double mixLevel;
    private final boolean panSupported;
    private final double pan;
    private final boolean loudnessSupported;
    private final boolean loudness;
    private final boolean trebleSupported;
    private final double treble;
    private final double trebleRange;
    private final boolean bassSupported;
    private final double bass;
    private final double bassRange;

    public AudioInputMixerPreferences(boolean monoSupported, boolean mono, boolean mixLevelSupported,
            double mixLevel, boolean panSupported, double pan, boolean loudnessSupported, boolean loudness,
            boolean trebleSupported, double treble, double trebleRange, boolean bassSupported, double bass,
            double bassRange) {
        this.monoSupported = monoSupported;
        this.mono = mono;
        this.mixLevelSupported = mixLevelSupported;
        this.mixLevel = mixLevel;
        this.panSupported = panSupported;
        this.pan = pan;
        this.loudnessSupported = loudnessSupported;
        this.loudness = loudness;
        this.trebleSupported = trebleSupported;
        this.treble = treble;
        this.trebleRange = trebleRange;
        this.bassSupported = bassSupported;
        this.bass = bass;
        this.bassRange = bassRange;
    }

    public boolean isMonoSupported() { return monoSupported; }
    public boolean isMono() { return mono; }
    public boolean isMixLevelSupported() { return mixLevelSupported; }
    /** 0.0 to 1.0, or -1.0 for automatic gain. */
    public double getMixLevel() { return mixLevel; }
    public boolean isPanSupported() { return panSupported; }
    public double getPan() { return pan; }
    public boolean isLoudnessSupported() { return loudnessSupported; }
    public boolean isLoudness() { return loudness; }
    public boolean isTrebleSupported() { return trebleSupported; }
    public double getTreble() { return treble; }
    public double getTrebleRange() { return trebleRange; }
    public boolean isBassSupported() { return bassSupported; }
    public double getBass() { return bass; }
    public double getBassRange() { return bassRange; }

    @Override
    public String toString() {
        return "AudioInputMixerPreferences[mono " + setting(monoSupported, mono) + ", mix level "
                + setting(mixLevelSupported, mixLevel) + ", pan " + setting(panSupported, pan) + ", loudness "
                + setting(loudnessSupported, loudness) + ", treble " + setting(trebleSupported, treble)
                + " of " + trebleRange + ", bass " + setting(bassSupported, bass) + " of " + bassRange + "]";
    }

    private static String setting(boolean supported, Object value) {
        return supported ? String.valueOf(value) : "unsupported";
    }
}
