// Rollouts: one write to many modules in waves. "#/rollouts" lists them;
// "#/rollout/ID" shows each wave's modules by state, the failures by reason,
// and the steps the rollout's state takes (an operator's; approval never by
// the creator's key, which the server refuses).
import { api, may } from '../api.js';
import { h, replace } from '../dom.js';
import { errorLine, localTime, table } from './common.js';

// The steps each state takes, as the server allows them.
const kSteps = {
  'awaiting approval': ['approve', 'cancel'],
  approved: ['start', 'cancel'],
  running: ['pause', 'retry-failed', 'cancel'],
  paused: ['resume', 'cancel'],
  halted: ['retry-failed', 'cancel'],
  finished: ['retry-failed'],
};
const kWaveCounts = ['size', 'waiting', 'queued', 'held', 'running', 'verified', 'failed', 'cancelled'];

function rolloutState(t, state) {
  return h('span', { class: `badge rollout-${state.replace(/ /g, '-')}`, 'data-rollout-state': state },
    t(`rollout.state.${state}`));
}

function rolloutLink(rollout) {
  return h('a', { href: `#/rollout/${rollout.id}` }, `#${rollout.id}`);
}

async function renderList(context) {
  const { t, view } = context;
  const box = h('div', {});
  const problem = errorLine(null);
  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('rollouts.title'))), problem, box);
  await context.every(2000, async () => {
    let answer;
    try {
      answer = await api('GET', 'rollouts');
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
    if (!context.current()) return;
    problem.textContent = '';
    // Newest first: the one just created or under way is on top.
    const rows = answer.items.slice().reverse().map((r) => h('tr', { 'data-rollout': r.id },
      h('td', {}, rolloutLink(r)), h('td', {}, r.name), h('td', {}, rolloutState(t, r.state)),
      h('td', { class: 'number' }, r.waveCount ? `${r.wave} / ${r.waveCount}` : ''),
      h('td', { class: 'number' }, r.modules), h('td', {}, r.target), h('td', {}, r.createdBy),
      h('td', {}, r.approvedBy), h('td', {}, localTime(r.updated))));
    const columns = ['col.rollout', 'col.name', 'col.state', 'col.wave', 'col.modules', 'col.target', 'col.createdBy',
      'col.approvedBy', 'col.updated'].map((label) => ({ label: t(label),
      class: label === 'col.wave' || label === 'col.modules' ? 'number' : null }));
    replace(box, table('rollouts', columns, rows, t('rollouts.none')));
  });
}

function stepButtons(context, rollout, done) {
  const { t, user } = context;
  if (!may(user.role, 'operator')) return [];
  return (kSteps[rollout.state] || []).map((step) => h('button', {
    type: 'button', class: step === 'cancel' ? 'danger' : null, 'data-step': step,
    onclick: async (event) => {
      event.target.disabled = true;
      const confirmed = await context.confirm(t(`rollout.confirm.${step}`, { id: rollout.id, name: rollout.name }),
        t(`rollout.step.${step}`));
      if (!confirmed) {
        event.target.disabled = false;
        return;
      }
      try {
        await api('POST', `rollouts/${rollout.id}/${step}`, {});
        done(null);
      } catch (error) {
        done(error);
      }
    },
  }, t(`rollout.step.${step}`)));
}

async function renderOne(context) {
  const { t, view, route } = context;
  const box = h('div', {});
  const problem = errorLine(null);
  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('rollout.title', { id: route.argument }))), problem, box);
  const load = async () => {
    let rollout;
    try {
      rollout = await api('GET', `rollouts/${encodeURIComponent(route.argument)}`);
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
    if (!context.current()) return;
    const done = (error) => {
      problem.textContent = error ? error.message : '';
      load().catch(() => {});
    };
    const row = (label, ...value) => h('tr', {}, h('th', {}, t(label)), h('td', {}, ...value));
    const waves = rollout.waveStatus.map((w) => h('tr', { 'data-wave': w.wave },
      h('td', { class: 'number' }, w.wave),
      kWaveCounts.map((key) => h('td', { class: 'number' }, w[key])),
      h('td', {}, Object.entries(w.failures).map(([reason, count]) => `${reason}: ${count}`).join(', '))));
    const waveColumns = [{ label: t('col.wave'), class: 'number' }, ...kWaveCounts.map((key) => ({ label: t(`wave.${key}`), class: 'number' })),
      { label: t('wave.failures') }];
    replace(box,
      h('table', { class: 'facts', id: 'rollout' },
        row('col.name', rollout.name), row('col.state', rolloutState(t, rollout.state)),
        rollout.haltReason ? row('rollout.haltReason', rollout.haltReason) : null,
        row('col.target', rollout.target), row('rollout.waves', rollout.waves),
        row('rollout.maxFailed', rollout.maxFailed), row('col.modules', String(rollout.modules)),
        row('col.createdBy', rollout.createdBy, ' · ', localTime(rollout.created)),
        row('col.approvedBy', rollout.approvedBy)),
      h('div', { class: 'toolbar', id: 'rollout-steps' }, ...stepButtons(context, rollout, done)),
      table('waves', waveColumns, waves, t('rollout.noWaves')));
  };
  await context.every(2000, load);
}

export async function render(context) {
  if (context.route.name === 'rollout') return renderOne(context);
  return renderList(context);
}
