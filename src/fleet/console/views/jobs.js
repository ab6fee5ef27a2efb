// The jobs: live states, attempts, who queued each and how it ended; an
// operator cancels a queued one. "#/job/ID" shows one job.
import { api, may, query } from '../api.js';
import { h, replace } from '../dom.js';
import { errorLine, jobLink, kindText, localTime, moduleLink, stateBadge, table } from './common.js';

const kStates = ['', 'queued', 'held', 'running', 'done', 'failed', 'cancelled'];
const kShown = 200; // the newest jobs; a filter by object or state finds older ones

function cancelButton(context, job, done) {
  const { t, user } = context;
  if (!may(user.role, 'operator') || job.state !== 'queued') return '';
  return h('button', { type: 'button', class: 'small', 'data-cancel': job.id, onclick: async (event) => {
    event.target.disabled = true;
    if (!(await context.confirm(t('jobs.cancelConfirm', { id: job.id, object: job.object }), t('jobs.cancel')))) {
      event.target.disabled = false;
      return;
    }
    try {
      await api('DELETE', `jobs/${job.id}`);
    } catch (error) {
      done(error);
      return;
    }
    done(null);
  } }, t('jobs.cancel'));
}

function jobRow(context, job, done) {
  const { t } = context;
  return h('tr', { 'data-job': job.id },
    h('td', {}, jobLink(job.id)),
    h('td', {}, moduleLink(job.object)),
    h('td', {}, kindText(job)),
    h('td', {}, stateBadge(job)),
    h('td', { class: 'number' }, job.attempts),
    h('td', {}, job.by),
    h('td', {}, localTime(job.queued)),
    h('td', {}, localTime(job.finished)),
    h('td', { class: 'result' }, job.result, job.cancelledBy ? ` (${t('jobs.cancelledBy', { by: job.cancelledBy })})` : ''),
    h('td', {}, cancelButton(context, job, done)));
}

export function jobColumns(t) {
  return ['col.job', 'col.object', 'col.kind', 'col.state', 'col.attempts', 'col.by', 'col.queued', 'col.finished',
    'col.result', ''].map((label) => ({ label: label ? t(label) : '' }));
}

// The jobs of `parameters` (object, state) into `box`, newest first.
export async function loadJobs(context, box, problem, parameters) {
  const answer = await api('GET', `jobs${query({ ...parameters, order: 'newest', limit: kShown })}`);
  if (!context.current()) return;
  const done = (error) => {
    problem.textContent = error ? error.message : '';
    loadJobs(context, box, problem, parameters).catch(() => {});
  };
  const rows = answer.items.map((job) => jobRow(context, job, done));
  replace(box, table('jobs', jobColumns(context.t), rows, context.t('jobs.none')));
}

async function renderOne(context) {
  const { t, view, route } = context;
  const box = h('div', {});
  const problem = errorLine(null);
  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('job.title', { id: route.argument }))), problem, box);
  await context.every(2000, async () => {
    let job;
    try {
      job = await api('GET', `jobs/${encodeURIComponent(route.argument)}`);
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
    if (!context.current()) return;
    const row = (label, ...value) => h('tr', {}, h('th', {}, t(label)), h('td', {}, ...value));
    replace(box, h('table', { class: 'facts', id: 'job' },
      row('col.object', moduleLink(job.object)), row('col.kind', kindText(job)), row('col.state', stateBadge(job)),
      row('col.attempts', String(job.attempts)), row('col.by', job.by), row('col.queued', localTime(job.queued)),
      row('col.started', localTime(job.started)), row('col.finished', localTime(job.finished)),
      row('col.result', job.result), job.cancelledBy ? row('col.cancelledBy', job.cancelledBy) : null,
      row('', cancelButton(context, job, (error) => { problem.textContent = error ? error.message : ''; }),
        ' ', h('a', { href: `#/audit?object=${encodeURIComponent(job.object)}` }, t('job.audit')))));
  });
}

export async function render(context) {
  if (context.route.name === 'job') return renderOne(context);
  const { t, view, route } = context;
  const parameters = { object: route.params.get('object') || '', state: route.params.get('state') || '' };
  const object = h('input', { id: 'jobs-object', type: 'search', maxlength: 4, value: parameters.object,
    placeholder: t('modules.searchPlaceholder') });
  const state = h('select', { id: 'jobs-state' },
    kStates.map((s) => h('option', { value: s, selected: s === parameters.state }, s ? t(`state.${s}`) : t('jobs.anyState'))));
  const box = h('div', { id: 'jobs-body' });
  const problem = errorLine(null);
  const reload = () => loadJobs(context, box, problem, parameters).catch((error) => { problem.textContent = error.message; });
  object.addEventListener('input', () => {
    parameters.object = object.value.trim();
    if (parameters.object === '' || /^[A-Za-z0-9]{1,4}$/.test(parameters.object)) reload();
  });
  state.addEventListener('change', () => {
    parameters.state = state.value;
    reload();
  });
  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('jobs.title'))),
    h('div', { class: 'toolbar' }, h('label', {}, t('col.object'), ' ', object), h('label', {}, t('col.state'), ' ', state)),
    problem, box);
  await context.every(2000, async () => {
    try {
      await loadJobs(context, box, problem, parameters);
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
  });
}
